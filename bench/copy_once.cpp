// The user-space yardsticks: reads each file named on the command line whole and writes
// it once to the output file, in the order given; with --chunked it copies through one
// 1 MiB buffer instead, the least work any copy through user space can do.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string_view>

int main(int argc, char** argv) {
  const bool chunked = argc > 1 && std::string_view(argv[1]) == "--chunked";
  if (chunked) {
    --argc;
    ++argv;
  }
  if (argc < 3) {
    std::fprintf(stderr, "usage: copy_once [--chunked] OUTPUT FILE...\n");
    return 2;
  }
  const int out = ::open(argv[1], O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (out < 0) return 1;
  constexpr std::size_t chunk = std::size_t{1} << 20;
  // One buffer, grown to the largest file and never zero-filled, as a careful copier would.
  std::unique_ptr<char[]> buffer;
  std::size_t capacity = 0;
  for (int i = 2; i < argc; ++i) {
    const int in = ::open(argv[i], O_RDONLY);
    struct stat status {};
    if (in < 0 || ::fstat(in, &status) != 0) return 1;
    if (chunked) {
      if (capacity < chunk) {
        buffer.reset(new char[chunk]);
        capacity = chunk;
      }
      for (;;) {
        const ssize_t n = ::read(in, buffer.get(), chunk);
        if (n < 0) return 1;
        if (n == 0) break;
        for (ssize_t put = 0; put < n;) {
          const ssize_t w = ::write(out, buffer.get() + put, static_cast<std::size_t>(n - put));
          if (w <= 0) return 1;
          put += w;
        }
      }
      ::close(in);
      continue;
    }
    const auto size = static_cast<std::size_t>(status.st_size);
    if (size > capacity) {
      buffer.reset(new char[size]);
      capacity = size;
    }
    std::size_t got = 0;
    while (got < size) {
      const ssize_t n = ::read(in, buffer.get() + got, size - got);
      if (n <= 0) return 1;
      got += static_cast<std::size_t>(n);
    }
    for (std::size_t put = 0; put < got;) {
      const ssize_t n = ::write(out, buffer.get() + put, got - put);
      if (n <= 0) return 1;
      put += static_cast<std::size_t>(n);
    }
    ::close(in);
  }
  return ::close(out) == 0 ? 0 : 1;
}
