// The saver's side of the connection: what the compositor offers (its
// globals, outputs and seats), bounded roundtrips during start-up, and the
// orderly end of it all.
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

std::string WaylandSaver::SilentCompositor() {
  return Describe("the Wayland compositor at \"%s\" did not answer within %s seconds",
                  std::to_string(kAnswerSeconds).c_str());
}

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

void WaylandSaver::DropOutput(std::size_t index) {
  Output& o = *outputs_[index];
  DropSurface(o);
  ReleaseOutput(o.output);
  outputs_.erase(outputs_.begin() + static_cast<std::ptrdiff_t>(index));
  PlaceField();
}

}  // namespace vz
