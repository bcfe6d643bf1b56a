#pragma once

#include <chrono>
#include <csignal>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "layer_output.h"
#include "output_info.h"
#include "particle_field.h"
#include "field_ticks.h"
#include "wayland_globals.h"
#include "wayland_seat.h"

struct wl_registry;
struct wl_surface;

namespace vz {

// The saver as a client of a Wayland compositor that offers layer-shell:
// a black overlay surface on every output, present and future, with the
// particle field on the first output announced (the next one when that
// goes; none while there is no output), drawn in the output's device pixels.
// Animates like the particle window (settings, delay, ticks in slices) and,
// like the X11 saver window, ends at the first sign of the user: a key, a
// main button, a touch, the pointer away from the first position seen, or
// the keyboard focus lost to another program. Runs a loop of its own around the
// compositor's socket: a wake-up a tick and little else, where an event
// loop with timers for everyone would cost more than the particles do.
class WaylandSaver : private SeatEvents {
 public:
  // Connects to the compositor WAYLAND_DISPLAY names and learns what it
  // offers, within kAnswerSeconds. Nothing when the variable is unset
  // (`problem` then stays empty), or when no compositor answers there
  // (`problem` then says what went wrong, for a line on stderr).
  static std::unique_ptr<WaylandSaver> Connect(std::string& problem);
  ~WaylandSaver();

  // What the compositor lacks of what the saver needs, in words; empty when
  // nothing.
  std::string Lacking() const;

  // The longest the compositor may take to answer during start-up.
  static constexpr int kAnswerSeconds = 5;

  // Shows the surfaces, loads the settings and runs until a close request,
  // SIGTERM, SIGINT or SIGHUP (code 0), or the loss of the compositor or its
  // silence during start-up (code 1, with a line on stderr); the exit code.
  int Run();

  // An output and its surface; on the heap, since its listener keeps its
  // address.
  struct Output {
    std::uint32_t name;
    struct wl_output* output;
    OutputInfo info;
    std::unique_ptr<LayerOutput> surface;
  };

  // Registry and output listeners.
  static void OutputDone(void* output);
  void OnGlobal(std::uint32_t name, const char* interface, std::uint32_t version);
  void OnGlobalRemove(std::uint32_t name);

 private:
  enum class Answer { kDone, kSilent, kFailed, kSignal };

  explicit WaylandSaver(struct wl_display* display);
  // The line for a compositor silent during start-up.
  static std::string SilentCompositor();
  // A roundtrip that gives up at `deadline`; a signal to end (let in by
  // `waitMask`, when given) ends it too.
  Answer Roundtrip(std::chrono::steady_clock::time_point deadline, const sigset_t* waitMask);
  void AddSurface(Output& output);
  // Takes the output's surface away (the field then has none).
  void DropSurface(Output& output);
  void DropOutput(std::size_t index);
  // Puts the field on the first output that has a surface; reseeds when it
  // moves.
  void PlaceField();
  void OnRepainted(LayerOutput& surface);
  void OnClosed(LayerOutput& surface);
  // Waits for the next tick or slice (or the focus check), a signal or
  // (with `watch`) the compositor; false once the run is over.
  bool Wait(bool watch, const sigset_t* waitMask);
  void Tick();
  // Reads what the compositor sent, when the socket has something.
  void ReadEvents();
  // Handles the events read and what they leave to do, shows fills not yet
  // shown and sends every request made; ends the run with 1 when the
  // connection is lost.
  void Flush();
  // What listeners leave for after the events (never from inside the
  // listener of the object concerned).
  void RunDeferred();
  void Finish(int code);
  void PostCloseRequest();
  bool Ours(wl_surface* surface) const;

  // SeatEvents
  void KeyPressed() override;
  void ButtonPressed(std::uint32_t button) override;
  void PointerAt(wl_surface* surface, std::int32_t x, std::int32_t y) override;
  void KeyboardEntered(wl_surface* surface) override;
  void KeyboardLeft(wl_surface* surface) override;
  void TouchDown() override;

  WaylandGlobals globals_;
  std::unique_ptr<ShmBuffer> blackShm_;
  wl_registry* registry_ = nullptr;
  std::vector<std::unique_ptr<Output>> outputs_;
  std::vector<std::unique_ptr<WaylandSeat>> seats_;
  bool running_ = false;
  int exitCode_ = 0;
  // Left by listeners for RunDeferred.
  std::vector<LayerOutput*> closedSurfaces_;
  bool closeRequested_ = false;
  // The keyboard left this surface of the saver's; unless the focus comes
  // back, or the surface goes with its output, or the compositor goes, by
  // the deadline, that was the user.
  wl_surface* focusLeft_ = nullptr;
  std::chrono::steady_clock::time_point focusDeadline_;

  ParticleField field_;
  LayerOutput* fieldSurface_ = nullptr;
  FieldTicks ticks_;

  // Input rules: the first pointer position seen and on which surface.
  wl_surface* firstPointerSurface_ = nullptr;
  std::int32_t firstX_ = -1;
  std::int32_t firstY_ = -1;
  wl_surface* keyboardFocus_ = nullptr;
};

}  // namespace vz
