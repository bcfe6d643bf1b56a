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
// Versions bound: the most the code knows, or what is offered.
constexpr std::uint32_t kCompositorVersion = 4;  // damage_buffer
constexpr std::uint32_t kOutputVersion = 3;      // scale, done, release
constexpr std::uint32_t kSeatVersion = 5;        // release

const wl_registry_listener kRegistryListener = {
    [](void* data, wl_registry*, std::uint32_t name, const char* interface, std::uint32_t version) {
      static_cast<WaylandSaver*>(data)->OnGlobal(name, interface, version);
    },
    [](void* data, wl_registry*, std::uint32_t name) {
      static_cast<WaylandSaver*>(data)->OnGlobalRemove(name);
    },
};

template <class T>
T* Bind(wl_registry* registry, std::uint32_t name, const wl_interface& interface,
        std::uint32_t version) {
  return static_cast<T*>(wl_registry_bind(registry, name, &interface, version));
}

void DestroyProxy(void* proxy) {
  if (proxy) wl_proxy_destroy(static_cast<wl_proxy*>(proxy));
}

const char* DisplayName() {
  const char* name = std::getenv("WAYLAND_DISPLAY");
  return name ? name : "";
}

std::string Describe(const char* format, const char* detail = nullptr) {
  char text[512];
  std::snprintf(text, sizeof text, format, DisplayName(), detail ? detail : "");
  return text;
}

void ReleaseOutput(wl_output* output) {
  if (wl_output_get_version(output) >= WL_OUTPUT_RELEASE_SINCE_VERSION) {
    wl_output_release(output);
  } else {
    wl_output_destroy(output);
  }
}

std::string SilentCompositor() {
  return Describe("the Wayland compositor at \"%s\" did not answer within %s seconds",
                  std::to_string(WaylandSaver::kAnswerSeconds).c_str());
}

const wl_callback_listener kDoneListener = {
    [](void* data, wl_callback*, std::uint32_t) { *static_cast<bool*>(data) = true; },
};

}  // namespace

std::unique_ptr<WaylandSaver> WaylandSaver::Connect(std::string& problem) {
  problem.clear();
  if (*DisplayName() == '\0') return nullptr;
  wl_display* display = wl_display_connect(nullptr);
  if (!display) {
    problem = Describe("cannot connect to the Wayland compositor at \"%s\": %s",
                       std::strerror(errno));
    return nullptr;
  }
  std::unique_ptr<WaylandSaver> saver(new WaylandSaver(display));
  saver->registry_ = wl_display_get_registry(display);
  wl_registry_add_listener(saver->registry_, &kRegistryListener, saver.get());
  // The globals, then what the seats and outputs say of themselves.
  const auto deadline = Clock::now() + std::chrono::seconds(kAnswerSeconds);
  for (int i = 0; i < 2; ++i) {
    switch (saver->Roundtrip(deadline, nullptr)) {
      case Answer::kDone:
      case Answer::kSignal:
        continue;
      case Answer::kSilent:
        problem = SilentCompositor();
        return nullptr;
      case Answer::kFailed:
        problem = Describe("the connection to the Wayland compositor at \"%s\" failed: %s",
                           std::strerror(wl_display_get_error(display)));
        return nullptr;
    }
  }
  return saver;
}

std::string WaylandSaver::Lacking() const {
  const char* missing = !globals_.compositor  ? "wl_compositor"
                        : !globals_.shm       ? "wl_shm"
                        : !globals_.layerShell ? "layer-shell (zwlr_layer_shell_v1)"
                                               : nullptr;
  if (!missing) return {};
  return Describe("the Wayland compositor at \"%s\" offers no %s, which the saver needs to cover "
                  "the screen",
                  missing);
}

WaylandSaver::Answer WaylandSaver::Roundtrip(Clock::time_point deadline, const sigset_t* waitMask) {
  wl_display* d = globals_.display;
  bool done = false;
  wl_callback* callback = wl_display_sync(d);
  wl_callback_add_listener(callback, &kDoneListener, &done);
  Answer answer = Answer::kDone;
  while (!done) {
    if (wl_display_dispatch_pending(d) < 0) {
      answer = Answer::kFailed;
      break;
    }
    if (done) break;
    // Requests first (a peer that reads nothing may leave them unsent),
    // then what comes back.
    const bool unsent = wl_display_flush(d) < 0;
    if (unsent && errno != EAGAIN) {
      answer = Answer::kFailed;
      break;
    }
    if (wl_display_prepare_read(d) != 0) continue;  // events already queued
    pollfd fd = {wl_display_get_fd(d), static_cast<short>(POLLIN | (unsent ? POLLOUT : 0)), 0};
    const int n = WaitUntil({&fd, 1}, deadline, waitMask);
    if (n <= 0) {
      wl_display_cancel_read(d);
      if (n < 0 && errno == EINTR) {
        if (TakeExitSignal()) {
          answer = Answer::kSignal;
          break;
        }
        continue;
      }
      answer = n == 0 ? Answer::kSilent : Answer::kFailed;
      break;
    }
    if (!(fd.revents & (POLLIN | POLLERR | POLLHUP))) {
      wl_display_cancel_read(d);
      continue;
    }
    if (wl_display_read_events(d) < 0) {
      answer = Answer::kFailed;
      break;
    }
  }
  wl_callback_destroy(callback);
  return answer;
}

WaylandSaver::WaylandSaver(wl_display* display) { globals_.display = display; }

WaylandSaver::~WaylandSaver() {
  ticks_.Abandon();
  fieldSurface_ = nullptr;
  for (auto& o : outputs_) {
    o->surface.reset();
    ReleaseOutput(o->output);
  }
  outputs_.clear();
  seats_.clear();
  blackShm_.reset();
  if (globals_.fractionalScale) wp_fractional_scale_manager_v1_destroy(globals_.fractionalScale);
  if (globals_.viewporter) wp_viewporter_destroy(globals_.viewporter);
  // Bound at versions without a destructor request.
  DestroyProxy(globals_.layerShell);
  DestroyProxy(globals_.shm);
  DestroyProxy(globals_.compositor);
  DestroyProxy(registry_);
  wl_display_flush(globals_.display);
  wl_display_disconnect(globals_.display);
}

namespace {

WaylandSaver::Output* OutputOf(void* data) { return static_cast<WaylandSaver::Output*>(data); }

const wl_output_listener kOutputListener = {
    // geometry: only the turn matters
    [](void* data, wl_output* o, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
       std::int32_t, const char*, const char*, std::int32_t transform) {
      OutputOf(data)->info.transform = transform;
      // Version 1 sends no done: every event stands on its own.
      if (wl_output_get_version(o) < WL_OUTPUT_DONE_SINCE_VERSION) WaylandSaver::OutputDone(data);
    },
    // mode
    [](void* data, wl_output* o, std::uint32_t flags, std::int32_t width, std::int32_t height,
       std::int32_t) {
      if (!(flags & WL_OUTPUT_MODE_CURRENT)) return;
      OutputOf(data)->info.modeWidth = width;
      OutputOf(data)->info.modeHeight = height;
      if (wl_output_get_version(o) < WL_OUTPUT_DONE_SINCE_VERSION) WaylandSaver::OutputDone(data);
    },
    // done
    [](void* data, wl_output*) { WaylandSaver::OutputDone(data); },
    // scale
    [](void* data, wl_output*, std::int32_t factor) { OutputOf(data)->info.scale = factor; },
    // name, description (version 4)
    [](void*, wl_output*, const char*) {},
    [](void*, wl_output*, const char*) {},
};

}  // namespace

void WaylandSaver::OutputDone(void* output) {
  Output& o = *static_cast<Output*>(output);
  if (o.surface) o.surface->OutputChanged();
}

void WaylandSaver::OnGlobal(std::uint32_t name, const char* interface, std::uint32_t version) {
  const auto is = [interface](const wl_interface& i) {
    return std::strcmp(interface, i.name) == 0;
  };
  if (is(wl_compositor_interface) && !globals_.compositor) {
    globals_.compositorVersion = std::min(version, kCompositorVersion);
    globals_.compositor =
        Bind<wl_compositor>(registry_, name, wl_compositor_interface, globals_.compositorVersion);
  } else if (is(wl_shm_interface) && !globals_.shm) {
    globals_.shm = Bind<wl_shm>(registry_, name, wl_shm_interface, 1);
  } else if (is(zwlr_layer_shell_v1_interface) && !globals_.layerShell) {
    globals_.layerShell =
        Bind<zwlr_layer_shell_v1>(registry_, name, zwlr_layer_shell_v1_interface, 1);
  } else if (is(wp_viewporter_interface) && !globals_.viewporter) {
    globals_.viewporter = Bind<wp_viewporter>(registry_, name, wp_viewporter_interface, 1);
  } else if (is(wp_fractional_scale_manager_v1_interface) && !globals_.fractionalScale) {
    globals_.fractionalScale = Bind<wp_fractional_scale_manager_v1>(
        registry_, name, wp_fractional_scale_manager_v1_interface, 1);
  } else if (is(wl_seat_interface)) {
    auto* seat = Bind<wl_seat>(registry_, name, wl_seat_interface, std::min(version, kSeatVersion));
    SeatEvents& events = *this;
    seats_.push_back(std::make_unique<WaylandSeat>(seat, name, events));
  } else if (is(wl_output_interface)) {
    auto* bound =
        Bind<wl_output>(registry_, name, wl_output_interface, std::min(version, kOutputVersion));
    auto output = std::make_unique<Output>(Output{name, bound, OutputInfo{}, nullptr});
    wl_output_add_listener(output->output, &kOutputListener, output.get());
    outputs_.push_back(std::move(output));
    if (running_) AddSurface(*outputs_.back());
  }
}

void WaylandSaver::OnGlobalRemove(std::uint32_t name) {
  for (std::size_t i = 0; i < outputs_.size(); ++i) {
    if (outputs_[i]->name == name) {
      DropOutput(i);
      return;
    }
  }
  std::erase_if(seats_, [name](const auto& s) { return s->Name() == name; });
}

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
  TickClock clock;
  clock.Start(interval, Clock::now() + interval);
  while (Wait(clock.Next(), watch, waitMask)) {
    if (clock.Due(Clock::now())) {
      if (!watch) ReadEvents();
      if (running_) Tick();
    } else if (ticks_.SliceDue() && fieldSurface_) {
      ticks_.OnSlice(field_, *fieldSurface_);
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

bool WaylandSaver::Wait(Clock::time_point tick, bool watch, const sigset_t* waitMask) {
  if (!running_) return false;
  pollfd fd = {wl_display_get_fd(globals_.display), POLLIN, 0};
  // A slice due runs once what has come in is handled, without sleeping.
  const auto deadline = ticks_.SliceDue() ? Clock::now()
                        : focusLeft_      ? std::min(tick, focusDeadline_)
                                          : tick;
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
  if (fieldSurface_ && fieldSurface_->Configured()) ticks_.OnTick(field_, *fieldSurface_);
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

void WaylandSaver::DropOutput(std::size_t index) {
  Output& o = *outputs_[index];
  DropSurface(o);
  ReleaseOutput(o.output);
  outputs_.erase(outputs_.begin() + static_cast<std::ptrdiff_t>(index));
  PlaceField();
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
