// A stand-in for a screen-saver host: opens a window, prints its X11 id and
// then obeys commands on stdin, answering each with one line.
//   lit             count non-black pixels of the window as shown on screen
//   resize W H      resize the host window
//   move X Y        move the host window
//   child           geometry of the first child window ("child W H" or "none")
//   destroy         destroy the host's native window
//   cover X Y W H   map a window of our own over part of the host; uncover
//   uncover         destroys it again
//   pixmap          make a pixmap, a drawable that is no window: "pixmap ID"
//   window KIND     map a plain window of KIND (inputoutput, inputonly, or
//                   inputoutput on the second screen: other-screen): "window ID"
//   destroy-after ID MS   destroy window ID in MS milliseconds
//   snap            keep the pixels: "snap L R", non-black ones in each half
//   compare X Y W H FILE   against the kept pixels, FILE listing the squares
//                   "fill X Y" that may be drawn: "stray N changed M first F",
//                   N non-black pixels inside the rectangle and outside every
//                   square, M pixels outside it lit when kept and different
//                   now, F = 1 when the first square is lit now
//   quit
#include <QApplication>
#include <QScreen>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>
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

// Waits until the server has handled every request sent so far.
void Sync() {
  xcb_connection_t* c = Connection();
  free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

bool Lit(const QImage& img, int x, int y) { return (img.pixel(x, y) & 0xFFFFFF) != 0; }

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

  auto grab = [&] { return host.screen()->grabWindow(id).toImage(); };
  QImage kept;
  xcb_window_t cover = XCB_NONE;
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
    } else if (cmd.rfind("cover ", 0) == 0) {
      int x = 0, y = 0, w = 0, h = 0;
      std::sscanf(cmd.c_str(), "cover %d %d %d %d", &x, &y, &w, &h);
      xcb_connection_t* c = Connection();
      const QPoint at = host.mapToGlobal(QPoint(x, y));
      xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
      cover = xcb_generate_id(c);
      const std::uint32_t values[] = {screen->white_pixel, 1};
      xcb_create_window(c, XCB_COPY_FROM_PARENT, cover, screen->root, at.x(), at.y(), w, h, 0,
                        XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
                        XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
      xcb_map_window(c, cover);
      Sync();
      Answer("ok");
    } else if (cmd == "uncover") {
      xcb_destroy_window(Connection(), cover);
      Sync();
      Answer("ok");
    } else if (cmd == "pixmap") {
      xcb_connection_t* c = Connection();
      const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
      const xcb_pixmap_t pixmap = xcb_generate_id(c);
      xcb_create_pixmap(c, screen->root_depth, pixmap, screen->root, 300, 200);
      Sync();
      Answer("pixmap " + std::to_string(pixmap));
    } else if (cmd.rfind("window ", 0) == 0) {
      xcb_connection_t* c = Connection();
      xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c));
      if (cmd == "window other-screen") xcb_screen_next(&screens);
      if (!screens.rem) {
        Answer("no such screen");
        return;
      }
      const xcb_window_t w = xcb_generate_id(c);
      const bool inputOnly = cmd == "window inputonly";
      xcb_create_window(c, inputOnly ? 0 : XCB_COPY_FROM_PARENT, w, screens.data->root, 10, 10,
                        200, 150, 0,
                        inputOnly ? XCB_WINDOW_CLASS_INPUT_ONLY : XCB_WINDOW_CLASS_INPUT_OUTPUT,
                        XCB_COPY_FROM_PARENT, 0, nullptr);
      xcb_map_window(c, w);
      Sync();
      Answer("window " + std::to_string(w));
    } else if (cmd.rfind("destroy-after ", 0) == 0) {
      unsigned w = 0;
      int ms = 0;
      std::sscanf(cmd.c_str(), "destroy-after %u %d", &w, &ms);
      QTimer::singleShot(ms, Qt::PreciseTimer, [w] {
        xcb_destroy_window(Connection(), w);
        xcb_flush(Connection());
      });
      Answer("ok");
    } else if (cmd == "snap") {
      kept = grab();
      int left = 0, right = 0;
      for (int y = 0; y < kept.height(); ++y)
        for (int x = 0; x < kept.width(); ++x) (x < kept.width() / 2 ? left : right) += Lit(kept, x, y);
      Answer("snap " + std::to_string(left) + " " + std::to_string(right));
    } else if (cmd.rfind("compare ", 0) == 0) {
      int x0 = 0, y0 = 0, w = 0, h = 0;
      char file[512] = {};
      std::sscanf(cmd.c_str(), "compare %d %d %d %d %511s", &x0, &y0, &w, &h, file);
      const QRect inside(x0, y0, w, h);
      std::vector<QRect> squares;
      std::ifstream in(file);
      int x = 0, y = 0;
      for (std::string word; in >> word;)
        if (word == "fill" && in >> x >> y) squares.emplace_back(x, y, 4, 4);
      const QImage now = grab();
      int stray = 0, changed = 0;
      for (y = 0; y < now.height(); ++y) {
        for (x = 0; x < now.width(); ++x) {
          if (!inside.contains(x, y)) {
            changed += Lit(kept, x, y) && now.pixel(x, y) != kept.pixel(x, y);
          } else if (Lit(now, x, y)) {
            stray += std::none_of(squares.begin(), squares.end(),
                                  [&](const QRect& r) { return r.contains(x, y); });
          }
        }
      }
      const bool first = !squares.empty() && now.rect().contains(squares[0].topLeft()) &&
                         Lit(now, squares[0].x(), squares[0].y());
      Answer("stray " + std::to_string(stray) + " changed " + std::to_string(changed) +
             " first " + std::to_string(first));
    } else {
      Answer("unknown");
    }
  });
  return app.exec();
}
