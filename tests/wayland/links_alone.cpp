// Links the whole Wayland saver with nothing but its own library: a build
// that fails here means the Wayland side came to need Qt's widgets, X or the
// password modules. Started, it only says whether a compositor answers.
#include <cstdio>
#include <string>

#include "wayland_saver.h"

int main() {
  std::string problem;
  auto saver = vz::WaylandSaver::Connect(problem);
  int (vz::WaylandSaver::*run)() = &vz::WaylandSaver::Run;
  std::printf("%s\n", saver && run ? "connected" : problem.c_str());
  return 0;
}
