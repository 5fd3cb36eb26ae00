// Runs the extraction library on one archive, for the benchmark script and for
// trying archives by hand: ezip_cli ARCHIVE FOLDER; prints and exits with the
// library's result (0 on success).
#include <cstdio>

extern "C" short Vexa_Unzip(const char* szzipfilename, const char* szdirname);

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s ARCHIVE FOLDER\n", argv[0]);
        return 2;
    }
    const short result = Vexa_Unzip(argv[1], argv[2]);
    if (result != 0) {
        std::printf("%d\n", result);
    }
    return result == 0 ? 0 : 1;
}
