// A compositor that never answers: listens on the socket path it is given,
// takes every connection and reads nothing, until it is killed.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: silent_peer SOCKET_PATH\n");
    return 2;
  }
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  if (std::strlen(argv[1]) >= sizeof address.sun_path) return 2;
  std::strcpy(address.sun_path, argv[1]);
  const int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener, 16) != 0) {
    std::perror("silent_peer");
    return 1;
  }
  std::vector<int> held;
  for (;;) {
    const int client = accept(listener, nullptr, nullptr);
    if (client >= 0) held.push_back(client);
  }
}
