#include "wayland_saver.h"

#include <poll.h>
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <utility>

#include "close_rules.h"
#include "particle_settings.h"
#include "tick_clock.h"
#include "tick_interval.h"
#include "seed.h"
#include "signal_exit.h"
#include "fractional-scale-v1-client-protocol.h"
#include "viewporter-client-protocol.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"

namespace vz {

namespace {

using Clock = std::chrono::steady_clock;

// evdev codes of the three main buttons.
constexpr std::uint32_t kButtonLeft = 0x110;
constexpr std::uint32_t kButtonRight = 0x111;
constexpr std::uint32_t kButtonMiddle = 0x112;
// Ticks at most this far apart read what the compositor sent at each tick,
// and the socket is not watched between them: the buffer release that
// follows each commit then costs no wake-up of its own. Input waits at most
// this long, which nobody notices.
constexpr int kReadEachTickMs = 50;
// How long a keyboard leave waits to be explained by something that is not
// the user: the surface going with its output, or the compositor ending
// (KWin takes the focus away first). Long against the tick reads, short
// for anyone looking.
constexpr auto kFocusGrace = std::chrono::milliseconds(300);

}  // namespace

int WaylandSaver::Run() {
  if (!Lacking().empty()) return 1;
  // From here on a signal to end is kept until the loop below waits (and
  // lets it in), however long the start takes.
  const std::optional<sigset_t> mask = BlockAndNoteExitSignals();
  const sigset_t* waitMask = mask ? &*mask : nullptr;
  running_ = true;
  exitCode_ = 0;
  LoadParticleSettings(field_);
  // A tiny black buffer for the outputs without the field, where the
  // compositor scales buffers; a full-size buffer each otherwise.
  if (globals_.viewporter) {
    constexpr int kSide = WaylandGlobals::kBlackSide;
    blackShm_ = ShmBuffer::Create(globals_.shm, kSide, kSide);
    if (blackShm_) globals_.blackPixel = blackShm_->Buffer();
  }
  for (auto& o : outputs_) AddSurface(*o);
  // The first configures at once, so that the outputs go black without
  // waiting for a tick.
  switch (Roundtrip(Clock::now() + std::chrono::seconds(kAnswerSeconds), waitMask)) {
    case Answer::kDone:
      break;
    case Answer::kSignal:
      Finish(0);
      break;
    case Answer::kSilent:
      std::fprintf(stderr, "vivedaziv: %s\n", SilentCompositor().c_str());
      Finish(1);
      break;
    case Answer::kFailed:
      break;  // Flush says so
  }
  Flush();

  const auto interval = std::chrono::milliseconds(TickIntervalMs(field_.params.delay));
  const bool watch = interval.count() > kReadEachTickMs;
  ticks_.Start(interval, Clock::now() + interval);
  while (Wait(watch, waitMask)) {
    switch (ticks_.Due(Clock::now())) {
      case FieldTicks::Work::kTick:
        if (!watch) ReadEvents();
        if (running_) Tick();
        break;
      case FieldTicks::Work::kSlice:
        if (fieldSurface_) ticks_.Slice(field_, *fieldSurface_);
        break;
      case FieldTicks::Work::kNone:
        break;
    }
    Flush();
  }
  if (mask) UnblockExitSignals();

  running_ = false;
  ticks_.Abandon();
  fieldSurface_ = nullptr;
  for (auto& o : outputs_) o->surface.reset();
  wl_display_flush(globals_.display);
  return exitCode_;
}

bool WaylandSaver::Wait(bool watch, const sigset_t* waitMask) {
  if (!running_) return false;
  pollfd fd = {wl_display_get_fd(globals_.display), POLLIN, 0};
  const auto wake = ticks_.WakeAt();
  const auto deadline = focusLeft_ ? std::min(wake, focusDeadline_) : wake;
  if (WaitUntil({&fd, watch ? 1u : 0u}, deadline, waitMask) < 0) {
    if (errno != EINTR) {
      std::fprintf(stderr, "vivedaziv: cannot wait for the compositor: %s\n", std::strerror(errno));
      Finish(1);
      return false;
    }
    return !TakeExitSignal();
  }
  // A hang-up too: reading finds the end and reports it.
  if (fd.revents) ReadEvents();
  return running_;
}

void WaylandSaver::Tick() {
  if (fieldSurface_ && fieldSurface_->Configured()) ticks_.Tick(field_, *fieldSurface_);
}

void WaylandSaver::AddSurface(Output& output) {
  output.surface = std::make_unique<LayerOutput>(
      globals_, output.output, output.info, [this](LayerOutput& s) { OnRepainted(s); },
      [this](LayerOutput& s) { OnClosed(s); });
  PlaceField();
}

void WaylandSaver::DropSurface(Output& output) {
  if (!output.surface) return;
  if (output.surface.get() == fieldSurface_) {
    ticks_.Abandon();
    fieldSurface_ = nullptr;
  }
  std::erase(closedSurfaces_, output.surface.get());
  // Its keyboard focus goes with it, which is not the user's doing.
  wl_surface* surface = output.surface->Surface();
  if (keyboardFocus_ == surface) keyboardFocus_ = nullptr;
  if (focusLeft_ == surface) focusLeft_ = nullptr;
  output.surface.reset();
}

void WaylandSaver::PlaceField() {
  LayerOutput* first = nullptr;
  for (auto& o : outputs_) {
    if (o->surface) {
      first = o->surface.get();
      break;
    }
  }
  if (first == fieldSurface_) return;
  ticks_.Abandon();
  if (fieldSurface_) fieldSurface_->SetPainting(false);
  fieldSurface_ = first;
  // Black until now: painting there repaints it, which seeds a fresh
  // layout (OnRepainted), now or at its first configure.
  if (fieldSurface_) fieldSurface_->SetPainting(true);
}

void WaylandSaver::OnRepainted(LayerOutput& surface) {
  if (&surface != fieldSurface_) return;
  ticks_.Abandon();
  Seed(field_, surface.GetClientRect());
}

void WaylandSaver::OnClosed(LayerOutput& surface) { closedSurfaces_.push_back(&surface); }

void WaylandSaver::ReadEvents() {
  wl_display* d = globals_.display;
  if (wl_display_prepare_read(d) == 0) wl_display_read_events(d);
  Flush();
}

void WaylandSaver::Flush() {
  wl_display* d = globals_.display;
  if (wl_display_dispatch_pending(d) < 0 || (wl_display_flush(d) < 0 && errno != EAGAIN)) {
    if (running_) {
      std::fprintf(stderr, "vivedaziv: the connection to the Wayland compositor was lost\n");
      Finish(1);
    }
    return;
  }
  RunDeferred();
  if (running_ && fieldSurface_ && fieldSurface_->HasUnshownFills()) {
    fieldSurface_->Present();
    wl_display_flush(d);
  }
}

void WaylandSaver::RunDeferred() {
  for (LayerOutput* closed : std::exchange(closedSurfaces_, {})) {
    for (auto& o : outputs_) {
      if (o->surface.get() != closed) continue;
      DropSurface(*o);
      PlaceField();
      break;
    }
  }
  // The focus may only be moving between the saver's own surfaces (its
  // arrival comes with the leave), or be taken by the compositor before its
  // output or itself goes: only the leave of a surface still there, with no
  // return, is the user's.
  if (focusLeft_ && (Ours(keyboardFocus_) || !Ours(focusLeft_))) focusLeft_ = nullptr;
  if (focusLeft_ && Clock::now() >= focusDeadline_) {
    focusLeft_ = nullptr;
    closeRequested_ = true;
  }
  // No password can be asked for here (the saver refuses to start when one
  // is wanted), so a close request ends the saver.
  if (closeRequested_) Finish(0);
}

void WaylandSaver::Finish(int code) {
  if (!running_) return;
  running_ = false;
  exitCode_ = code;
}

void WaylandSaver::PostCloseRequest() { closeRequested_ = true; }

bool WaylandSaver::Ours(wl_surface* surface) const {
  if (!surface) return false;
  return std::any_of(outputs_.begin(), outputs_.end(), [surface](const auto& o) {
    return o->surface && o->surface->Surface() == surface;
  });
}

void WaylandSaver::KeyPressed() { PostCloseRequest(); }

void WaylandSaver::ButtonPressed(std::uint32_t button) {
  if (button == kButtonLeft || button == kButtonMiddle || button == kButtonRight) {
    PostCloseRequest();
  }
}

void WaylandSaver::PointerAt(wl_surface* surface, std::int32_t x, std::int32_t y) {
  if (!surface) return;
  if (!firstPointerSurface_) firstPointerSurface_ = surface;
  // Positions on different outputs cannot be compared; reaching another
  // output takes a move.
  if (surface != firstPointerSurface_ || PointerMovedAway(firstX_, firstY_, x, y)) {
    PostCloseRequest();
  }
}

void WaylandSaver::KeyboardEntered(wl_surface* surface) { keyboardFocus_ = surface; }

void WaylandSaver::KeyboardLeft(wl_surface* surface) {
  // Leaving a surface the saver itself destroyed is no loss of activation.
  if (!surface) return;
  if (keyboardFocus_ == surface) keyboardFocus_ = nullptr;
  focusLeft_ = surface;
  focusDeadline_ = Clock::now() + kFocusGrace;
}

void WaylandSaver::TouchDown() { PostCloseRequest(); }

}  // namespace vz
