#pragma once

#include <chrono>
#include <csignal>
#include <cstdint>
#include <memory>
#include <vector>

#include "layer_output.h"
#include "particle_field.h"
#include "sliced_tick.h"
#include "wayland_globals.h"
#include "wayland_seat.h"

struct wl_registry;
struct wl_surface;

namespace vz {

// The saver as a client of a Wayland compositor that offers layer-shell:
// a black overlay surface on every output, present and future, with the
// particle field on the first output announced (the next one when that
// goes). Animates like the particle window (settings, delay, ticks in
// slices) and, like the X11 saver window, ends at the first sign of the
// user: a key, a main button, the pointer away from the first position seen,
// or the keyboard focus lost. Runs a loop of its own around the
// compositor's socket: a wake-up a tick and little else, where an event
// loop with timers for everyone would cost more than the particles do.
class WaylandSaver : private SeatEvents {
 public:
  // Connects to the compositor WAYLAND_DISPLAY names and learns what it
  // offers; nothing when the variable is unset or no compositor answers.
  static std::unique_ptr<WaylandSaver> Connect();
  ~WaylandSaver();

  bool OffersLayerShell() const { return globals_.layerShell != nullptr; }

  // Shows the surfaces, loads the settings and runs until a close request,
  // a signal (see NoteExitSignals) or the loss of the compositor; the exit
  // code.
  int Run();

  // Registry listener.
  void OnGlobal(std::uint32_t name, const char* interface, std::uint32_t version);
  void OnGlobalRemove(std::uint32_t name);

 private:
  struct Output {
    std::uint32_t name;
    struct wl_output* output;
    std::unique_ptr<LayerOutput> surface;
  };

  explicit WaylandSaver(struct wl_display* display);
  void AddSurface(Output& output);
  // Takes the output's surface away (the field then has none).
  void DropSurface(Output& output);
  void DropOutput(std::size_t index);
  // Puts the field on the first output that has a surface; reseeds when it
  // moves.
  void PlaceField();
  void OnRepainted(LayerOutput& surface);
  void OnClosed(LayerOutput& surface);
  // Waits for the next tick, a signal or (with `watch`) the compositor;
  // false once the run is over.
  bool Wait(std::chrono::steady_clock::time_point tick, bool watch, const sigset_t& waitMask);
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

  WaylandGlobals globals_;
  wl_registry* registry_ = nullptr;
  std::vector<Output> outputs_;
  std::vector<std::unique_ptr<WaylandSeat>> seats_;
  bool running_ = false;
  int exitCode_ = 0;
  // Left by listeners for RunDeferred.
  std::vector<LayerOutput*> closedSurfaces_;
  bool focusCheck_ = false;
  bool closeRequested_ = false;

  ParticleField field_;
  LayerOutput* fieldSurface_ = nullptr;
  SlicedTick ticks_{nullptr};

  // Input rules: the first pointer position seen and on which surface.
  wl_surface* firstPointerSurface_ = nullptr;
  std::int32_t firstX_ = -1;
  std::int32_t firstY_ = -1;
  wl_surface* keyboardFocus_ = nullptr;
};

}  // namespace vz
