// Runs a libFuzzer entry point without libFuzzer: every file given on the
// command line (a corpus), then a fixed number of pseudo-random inputs from
// a fixed seed, shaped to look like telegrams often enough to get past the
// first checks. CTest runs each target this way in the sanitizer build, so
// the decoders meet hostile bytes on every CI run, not only in fuzz sessions.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    long rounds = 20000;
    int files = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--rounds=", 0) == 0) {
            rounds = std::strtol(arg.c_str() + 9, nullptr, 10);
            continue;
        }
        std::ifstream in(arg, std::ios::binary);
        const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                         std::istreambuf_iterator<char>());
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
        ++files;
    }

    std::mt19937 rng(20261207u);
    // Bytes that start or end the telegrams of the protocols we decode.
    static const uint8_t interesting[] = {0x68, 0x16, 0x10, 0xE5, 0x00, 0xFF, 0x3A,
                                          0x0D, 0x0A, 0x06, 0x15, 0x03, 0x02, 0x01};
    std::vector<uint8_t> buf;
    for (long r = 0; r < rounds; ++r) {
        const size_t size = rng() % (r % 10 == 0 ? 1100 : 300);
        buf.resize(size);
        for (size_t i = 0; i < size; ++i) {
            const uint32_t pick = rng() % 8;
            buf[i] = pick == 0 ? interesting[rng() % sizeof interesting] : uint8_t(rng());
        }
        // Often make a consistent long M-Bus frame header, so the length and
        // checksum checks are passed and the decoders behind them are reached.
        if (size >= 6 && r % 3 == 0) {
            const uint8_t len = uint8_t(size - 6);
            buf[0] = 0x68;
            buf[1] = buf[2] = len;
            buf[3] = 0x68;
            uint8_t sum = 0;
            for (size_t i = 4; i < size - 2; ++i)
                sum = uint8_t(sum + buf[i]);
            buf[size - 2] = sum;
            buf[size - 1] = 0x16;
        }
        LLVMFuzzerTestOneInput(buf.data(), buf.size());
    }
    std::printf("%d corpus files, %ld generated inputs: no failure\n", files, rounds);
    return 0;
}
