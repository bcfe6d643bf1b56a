// A stand-in for a screen-saver host: opens a window, prints its X11 id and
// then obeys commands on stdin, answering each with one line.
//   lit             count non-black pixels of the window as shown on screen
//   resize W H      resize the host window
//   move X Y        move the host window
//   child           geometry of the first child window ("child W H" or "none")
//   destroy         destroy the host's native window
//   quit
#include <QApplication>
#include <QScreen>
#include <QSocketNotifier>
#include <QWidget>
#include <cstdio>
#include <iostream>
#include <string>
// Qt headers before X11 ones.
#include <xcb/xcb.h>

namespace {

xcb_connection_t* Connection() {
  return qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
}

void Answer(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget host;
  host.setWindowTitle("preview host");
  host.setStyleSheet("background: #204080");
  host.resize(400, 300);
  host.show();
  app.processEvents();
  const auto id = static_cast<std::uint32_t>(host.winId());
  xcb_flush(Connection());
  Answer(std::to_string(id));

  QSocketNotifier input(0, QSocketNotifier::Read);
  QObject::connect(&input, &QSocketNotifier::activated, [&] {
    std::string cmd;
    if (!std::getline(std::cin, cmd) || cmd == "quit") {
      app.exit(0);
      return;
    }
    if (cmd == "lit") {
      const QImage img = host.screen()->grabWindow(id).toImage();
      int lit = 0;
      for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) lit += (img.pixel(x, y) & 0xFFFFFF) != 0;
      Answer("lit " + std::to_string(lit) + " of " + std::to_string(img.width() * img.height()));
    } else if (cmd.rfind("resize ", 0) == 0) {
      int w = 0, h = 0;
      std::sscanf(cmd.c_str(), "resize %d %d", &w, &h);
      host.resize(w, h);
      app.processEvents();
      xcb_flush(Connection());
      Answer("ok");
    } else if (cmd.rfind("move ", 0) == 0) {
      int x = 0, y = 0;
      std::sscanf(cmd.c_str(), "move %d %d", &x, &y);
      host.move(x, y);
      app.processEvents();
      xcb_flush(Connection());
      Answer("ok");
    } else if (cmd == "child") {
      xcb_connection_t* c = Connection();
      auto* tree = xcb_query_tree_reply(c, xcb_query_tree(c, id), nullptr);
      std::string answer = "none";
      if (tree && xcb_query_tree_children_length(tree) > 0) {
        const xcb_window_t child = xcb_query_tree_children(tree)[0];
        if (auto* g = xcb_get_geometry_reply(c, xcb_get_geometry(c, child), nullptr)) {
          answer = "child " + std::to_string(g->width) + " " + std::to_string(g->height);
          free(g);
        }
      }
      free(tree);
      Answer(answer);
    } else if (cmd == "destroy") {
      xcb_destroy_window(Connection(), id);
      xcb_flush(Connection());
      Answer("ok");
    } else {
      Answer("unknown");
    }
  });
  return app.exec();
}
