// Headless runner: seeds and steps one particle field without a window and
// prints every drawing call, or times the run with --quiet.
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "entry_table.h"
#include "force.h"
#include "random.h"
#include "seed.h"
#include "step.h"

namespace {

struct Options {
  vz::EntryValues entries = vz::ParticleDefaults();
  std::int32_t width = 800;
  std::int32_t height = 600;
  std::int64_t seedTime = 0;
  bool seedTimeSet = false;
  std::int64_t ticks = 100;
  bool quiet = false;
};

void Usage(std::FILE* out) {
  std::fprintf(out,
               "usage: vivedaziv-sim [--ENTRY=VALUE ...] [--width=W] [--height=H]\n"
               "                     [--seed-time=S] [--ticks=N] [--quiet]\n"
               "  ENTRY is one of the stored settings:");
  for (const vz::EntryInfo& e : vz::kEntries) {
    std::fprintf(out, " %.*s", static_cast<int>(e.name.size()), e.name.data());
  }
  std::fprintf(out,
               "\n  VALUE is the stored 32-bit value in decimal (negative allowed).\n"
               "  Defaults: the particle window's settings, 800 x 600, the current\n"
               "  time as seed, 100 ticks. Prints every fill of every tick and the\n"
               "  final particles; --quiet prints only a timing summary.\n");
}

[[noreturn]] void Fail(const std::string& message) {
  std::fprintf(stderr, "vivedaziv-sim: %s\n", message.c_str());
  Usage(stderr);
  std::exit(2);
}

bool ParseInteger(std::string_view text, long long lo, long long hi, long long& out) {
  if (text.empty()) return false;
  const std::string s(text);
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(s.c_str(), &end, 10);
  if (errno != 0 || end != s.c_str() + s.size() || v < lo || v > hi) return false;
  // strtoll skips leading blanks; a value must be a plain number.
  if (s[0] != '-' && s[0] != '+' && (s[0] < '0' || s[0] > '9')) return false;
  out = v;
  return true;
}

Options Parse(int argc, char** argv) {
  Options o;
  for (int a = 1; a < argc; ++a) {
    const std::string_view arg = argv[a];
    if (arg == "--help" || arg == "-h") {
      Usage(stdout);
      std::exit(0);
    }
    if (arg == "--quiet") {
      o.quiet = true;
      continue;
    }
    if (arg.substr(0, 2) != "--") Fail("unexpected argument '" + std::string(arg) + "'");
    const auto eq = arg.find('=');
    if (eq == std::string_view::npos) Fail("missing value in '" + std::string(arg) + "'");
    const std::string_view name = arg.substr(2, eq - 2);
    const std::string_view value = arg.substr(eq + 1);
    long long v = 0;
    auto need = [&](long long lo, long long hi) {
      if (!ParseInteger(value, lo, hi, v)) {
        Fail("bad value '" + std::string(value) + "' for --" + std::string(name));
      }
    };
    if (const vz::EntryInfo* e = vz::FindEntry(name)) {
      need(INT32_MIN, UINT32_MAX);
      o.entries.*e->field = static_cast<std::uint32_t>(v);
    } else if (name == "width") {
      need(INT32_MIN, INT32_MAX);
      o.width = static_cast<std::int32_t>(v);
    } else if (name == "height") {
      need(INT32_MIN, INT32_MAX);
      o.height = static_cast<std::int32_t>(v);
    } else if (name == "seed-time") {
      need(INT64_MIN, INT64_MAX);
      o.seedTime = v;
      o.seedTimeSet = true;
    } else if (name == "ticks") {
      need(0, INT64_MAX);
      o.ticks = v;
    } else {
      Fail("unknown option '--" + std::string(name) + "'");
    }
  }
  return o;
}

class PrintingSurface : public vz::DrawSurface {
 public:
  PrintingSurface(std::int32_t w, std::int32_t h, bool print) : w_(w), h_(h), print_(print) {}
  vz::ClientRect GetClientRect() const override { return {0, 0, w_, h_}; }
  bool BeginDraw() override { return true; }
  void EndDraw() override {}
  void FillSolidRect(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h,
                     vz::Colour c) override {
    if (print_) std::printf("fill %d %d %d %d %08" PRIX32 "\n", x, y, w, h, c);
  }

 private:
  std::int32_t w_;
  std::int32_t h_;
  bool print_;
};

}  // namespace

int main(int argc, char** argv) {
  const Options o = Parse(argc, argv);
  if (o.seedTimeSet) {
    const std::int64_t t = o.seedTime;
    vz::SetTimeSource([t] { return t; });
  }

  vz::ParticleField field;
  field.count = vz::CountFromEntries(o.entries);
  field.params = vz::ParamsFromEntries(o.entries);
  vz::Seed(field, vz::ClientRect{0, 0, o.width, o.height});

  PrintingSurface surface(o.width, o.height, !o.quiet);
  const auto start = std::chrono::steady_clock::now();
  for (std::int64_t k = 1; k <= o.ticks; ++k) {
    if (!o.quiet) std::printf("tick %" PRId64 "\n", k);
    vz::Step(field, surface);
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  const std::int64_t n = field.arraySize;
  if (o.quiet) {
    const double pairs = static_cast<double>(n) * static_cast<double>(n > 0 ? n - 1 : 0) *
                         static_cast<double>(o.ticks);
    std::printf("particles %" PRId64 " ticks %" PRId64 " seconds %.6f ns/pair %.3f kernel %s\n",
                n, o.ticks, seconds, pairs > 0 ? seconds * 1e9 / pairs : 0.0,
                vz::ForceKernelName());
    return 0;
  }
  for (std::int64_t i = 0; i < n; ++i) {
    const vz::Particle& q = field.particles[static_cast<std::size_t>(i)];
    std::printf("particle %" PRId64 " %.17g %.17g %.17g %.17g %.17g\n", i, q.vx, q.vy, q.x, q.y,
                q.mass);
  }
  return 0;
}
