// A stand-in console tool for the tool runner's tests. The first argument
// picks what it does; every write goes straight to the descriptor.
#include <dirent.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <string>

namespace {

void put(int fd, const std::string& s) {
    size_t done = 0;
    while (done < s.size()) {
        const ssize_t n = write(fd, s.data() + done, s.size() - done);
        if (n <= 0) _exit(3);
        done += static_cast<size_t>(n);
    }
}

void pauseMs(long ms) {
    timespec t{ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&t, &t) != 0) {
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "print") {  // each argument as one write, 100 ms apart
        for (int i = 2; i < argc; ++i) {
            if (i > 2) pauseMs(100);
            put(1, argv[i]);
        }
    } else if (mode == "interleaved") {
        put(1, "out-1\n");
        pauseMs(100);
        put(2, "err-1\n");
        pauseMs(100);
        put(1, "out-2\n");
    } else if (mode == "big") {  // argv[2] bytes of numbered lines, then exit at once
        const size_t total = strtoul(argv[2], nullptr, 10);
        std::string out;
        for (unsigned line = 0; out.size() < total; ++line) out += "line " + std::to_string(line) + "\n";
        out.resize(total);
        put(1, out);
    } else if (mode == "error-hang") {  // reports "ERROR", then runs on; "stubborn" ignores SIGTERM
        if (argc > 2 && std::string(argv[2]) == "stubborn") signal(SIGTERM, SIG_IGN);
        put(1, "pid=" + std::to_string(getpid()) + " ERROR: No response from device\n");
        pauseMs(60000);
    } else if (mode == "args") {
        std::string out;
        for (int i = 2; i < argc; ++i) out += std::string("[") + argv[i] + "]\n";
        put(1, out);
    } else if (mode == "fds") {  // the open descriptors, except the one listing them
        DIR* dir = opendir("/proc/self/fd");
        if (!dir) return 2;
        std::string out = "fds:";
        while (dirent* e = readdir(dir)) {
            if (e->d_name[0] == '.' || atoi(e->d_name) == dirfd(dir)) continue;
            out += std::string(" ") + e->d_name;
        }
        closedir(dir);
        put(1, out + "\n");
    } else if (mode == "stdin") {
        char c;
        put(1, "stdin read " + std::to_string(read(0, &c, 1)) + "\n");
    } else if (mode == "sleep") {
        pauseMs(strtol(argv[2], nullptr, 10));
    } else if (mode != "silent") {
        put(2, "unknown mode\n");
        return 2;
    }
    return 0;
}
