#include "wayland_saver.h"

#include <poll.h>
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <utility>

#include "close_rules.h"
#include "particle_settings.h"
#include "particle_wnd.h"
#include "seed.h"
#include "signal_exit.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"

namespace vz {

namespace {

// evdev codes of the three main buttons.
constexpr std::uint32_t kButtonLeft = 0x110;
constexpr std::uint32_t kButtonRight = 0x111;
constexpr std::uint32_t kButtonMiddle = 0x112;
// Ticks at most this far apart read what the compositor sent at each tick,
// and the socket is not watched between them: the buffer release that
// follows each commit then costs no wake-up of its own. Input waits at most
// this long, which nobody notices.
constexpr int kReadEachTickMs = 50;

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

}  // namespace

std::unique_ptr<WaylandSaver> WaylandSaver::Connect() {
  const char* name = std::getenv("WAYLAND_DISPLAY");
  if (name == nullptr || *name == '\0') return nullptr;
  wl_display* display = wl_display_connect(nullptr);
  if (!display) return nullptr;
  std::unique_ptr<WaylandSaver> saver(new WaylandSaver(display));
  saver->registry_ = wl_display_get_registry(display);
  wl_registry_add_listener(saver->registry_, &kRegistryListener, saver.get());
  // The globals, then what the seats offer.
  if (wl_display_roundtrip(display) < 0 || wl_display_roundtrip(display) < 0) return nullptr;
  return saver;
}

WaylandSaver::WaylandSaver(wl_display* display) { globals_.display = display; }

WaylandSaver::~WaylandSaver() {
  ticks_.Abandon();
  fieldSurface_ = nullptr;
  for (Output& o : outputs_) {
    o.surface.reset();
    DestroyProxy(o.output);
  }
  outputs_.clear();
  seats_.clear();
  // All bound at versions without a destructor request.
  DestroyProxy(globals_.layerShell);
  DestroyProxy(globals_.shm);
  DestroyProxy(globals_.compositor);
  DestroyProxy(registry_);
  wl_display_flush(globals_.display);
  wl_display_disconnect(globals_.display);
}

void WaylandSaver::OnGlobal(std::uint32_t name, const char* interface, std::uint32_t version) {
  if (std::strcmp(interface, wl_compositor_interface.name) == 0 && !globals_.compositor) {
    globals_.compositorVersion = std::min<std::uint32_t>(version, 4);
    globals_.compositor =
        Bind<wl_compositor>(registry_, name, wl_compositor_interface, globals_.compositorVersion);
  } else if (std::strcmp(interface, wl_shm_interface.name) == 0 && !globals_.shm) {
    globals_.shm = Bind<wl_shm>(registry_, name, wl_shm_interface, 1);
  } else if (std::strcmp(interface, zwlr_layer_shell_v1_interface.name) == 0 &&
             !globals_.layerShell) {
    globals_.layerShell =
        Bind<zwlr_layer_shell_v1>(registry_, name, zwlr_layer_shell_v1_interface, 1);
  } else if (std::strcmp(interface, wl_seat_interface.name) == 0) {
    auto* seat =
        Bind<wl_seat>(registry_, name, wl_seat_interface, std::min<std::uint32_t>(version, 5));
    SeatEvents& events = *this;
    seats_.push_back(std::make_unique<WaylandSeat>(seat, name, events));
  } else if (std::strcmp(interface, wl_output_interface.name) == 0) {
    outputs_.push_back(
        Output{name, Bind<wl_output>(registry_, name, wl_output_interface, 1), nullptr});
    if (running_) AddSurface(outputs_.back());
  }
}

void WaylandSaver::OnGlobalRemove(std::uint32_t name) {
  for (std::size_t i = 0; i < outputs_.size(); ++i) {
    if (outputs_[i].name == name) {
      DropOutput(i);
      return;
    }
  }
  std::erase_if(seats_, [name](const auto& s) { return s->Name() == name; });
}

int WaylandSaver::Run() {
  if (!globals_.compositor || !globals_.shm || !globals_.layerShell) return 1;
  running_ = true;
  exitCode_ = 0;
  LoadParticleSettings(field_);
  for (Output& o : outputs_) AddSurface(o);
  // The first configures at once, so that the outputs go black without
  // waiting for a tick.
  wl_display_roundtrip(globals_.display);
  Flush();

  using Clock = std::chrono::steady_clock;
  const auto interval = std::chrono::milliseconds(CParticleWnd::TimerIntervalMs(field_.params.delay));
  const bool watch = interval.count() > kReadEachTickMs;
  auto tick = Clock::now() + interval;
  // Signals to end come in only while the loop waits, and then end the wait
  // (the saver has this one thread).
  const sigset_t waitMask = BlockExitSignals();
  while (Wait(tick, watch, waitMask)) {
    const auto now = Clock::now();
    if (now >= tick) {
      // A late tick is not made up for: the next one is a whole interval on.
      tick = std::max(tick + interval, now);
      if (!watch) ReadEvents();
      if (running_) Tick();
    } else if (ticks_.SliceDue() && fieldSurface_) {
      ticks_.OnSlice(field_, *fieldSurface_);
    }
    Flush();
  }
  UnblockExitSignals();

  running_ = false;
  ticks_.Abandon();
  fieldSurface_ = nullptr;
  for (Output& o : outputs_) o.surface.reset();
  wl_display_flush(globals_.display);
  return exitCode_;
}

bool WaylandSaver::Wait(std::chrono::steady_clock::time_point tick, bool watch,
                        const sigset_t& waitMask) {
  if (!running_) return false;
  pollfd fd = {wl_display_get_fd(globals_.display), POLLIN, 0};
  timespec timeout = {0, 0};
  // A slice due runs once what has come in is handled, without sleeping.
  if (!ticks_.SliceDue()) {
    const auto left = std::max(tick - std::chrono::steady_clock::now(),
                               std::chrono::steady_clock::duration::zero());
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    timeout = {static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
  }
  if (ppoll(&fd, watch ? 1 : 0, &timeout, &waitMask) < 0) {
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
      globals_, output.output, [this](LayerOutput& s) { OnRepainted(s); },
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
  if (keyboardFocus_ == output.surface->Surface()) keyboardFocus_ = nullptr;
  output.surface.reset();
}

void WaylandSaver::DropOutput(std::size_t index) {
  Output& o = outputs_[index];
  DropSurface(o);
  DestroyProxy(o.output);
  outputs_.erase(outputs_.begin() + static_cast<std::ptrdiff_t>(index));
  PlaceField();
}

void WaylandSaver::PlaceField() {
  LayerOutput* first = nullptr;
  for (Output& o : outputs_) {
    if (o.surface) {
      first = o.surface.get();
      break;
    }
  }
  if (first == fieldSurface_) return;
  ticks_.Abandon();
  fieldSurface_ = first;
  // Black until now: a fresh layout, as after any repaint.
  if (fieldSurface_ && fieldSurface_->Configured()) Seed(field_, fieldSurface_->GetClientRect());
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
    for (Output& o : outputs_) {
      if (o.surface.get() != closed) continue;
      DropSurface(o);
      PlaceField();
      break;
    }
  }
  // The focus may only be moving between the saver's own surfaces: its
  // arrival comes with the leave, so it is known by now.
  if (std::exchange(focusCheck_, false) && !Ours(keyboardFocus_)) closeRequested_ = true;
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
  return std::any_of(outputs_.begin(), outputs_.end(), [surface](const Output& o) {
    return o.surface && o.surface->Surface() == surface;
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
  focusCheck_ = true;
}

}  // namespace vz
