// Downloads one file through the ftp library as the FTP update does (connect,
// change folder, get, disconnect) and prints the seconds each run took, one
// line per run.
// Usage: ftp_bench_driver ADDRESS USER PASSWORD FOLDER REMOTE LOCAL RUNS
#include "libs/ftp/ftp.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 8) {
        std::fprintf(stderr, "usage: %s ADDRESS USER PASSWORD FOLDER REMOTE LOCAL RUNS\n", argv[0]);
        return 2;
    }
    const int runs = std::atoi(argv[7]);
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        short result = FTPConnect(argv[1], argv[2], argv[3]);
        if (result == FTP_OK) {
            result = FTPsetCurrentDir(argv[4]);
        }
        if (result == FTP_OK) {
            result = FTPgetFile(argv[5], argv[6], 1);
        }
        FTPDisconnect();
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        if (result != FTP_OK) {
            std::fprintf(stderr, "run %d failed with %d\n", run, result);
            return 1;
        }
        std::printf("%.4f\n", elapsed.count());
    }
    return 0;
}
