// The zun program. The application window is not built yet; until it is, the program states its
// version and points to the batch pipeline that computes a text data document.
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc > 1 && (std::strcmp(argv[1], "--version") == 0)) {
        std::printf("zun %s\n", ZUN_VERSION);
        return 0;
    }
    std::printf("zun %s\n", ZUN_VERSION);
    return 0;
}
