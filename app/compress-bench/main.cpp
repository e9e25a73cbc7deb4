// kuvzip-compress-bench: compresses every file of a folder the way the engine
// would, without writing an archive, and prints the sizes and the time taken
// (used by tools/bench-compress.sh, never by the tests).
//
//   kuvzip-compress-bench FOLDER zlib            today's one-thread member compressor
//   kuvzip-compress-bench FOLDER pipeline N      the sliced pipeline on N threads (0: one per core)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "zip/CompressionPipeline.h"
#include "zip/MemberCompressor.h"
#include "zip/ZlibBinding.h"

namespace {

class CountingSink : public kuv::zip::ByteSink {
public:
    std::uint64_t bytes = 0;
    bool Write(const std::uint8_t*, size_t size) override {
        bytes += size;
        return true;
    }
};

class CountingConsumer : public kuv::zip::MemberConsumer {
public:
    std::uint64_t in = 0, out = 0, failed = 0;
    bool Data(std::size_t, const std::uint8_t*, std::size_t) override { return true; }
    void End(std::size_t, int code, const kuv::zip::CompressedMember& r) override {
        if (code != 0) ++failed;
        in += r.uncompressedSize;
        out += r.compressedSize;
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s FOLDER zlib|pipeline [THREADS]\n", argv[0]);
        return 2;
    }
    std::vector<std::string> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(argv[1]))
        if (e.is_regular_file()) files.push_back(e.path().string());
    std::sort(files.begin(), files.end());
    const std::string mode = argv[2];
    const auto start = std::chrono::steady_clock::now();
    std::uint64_t in = 0, out = 0, failed = 0, peak = 0;
    unsigned threads = 1;
    if (mode == "zlib") {
        kuv::zip::CompressRequest request;
        request.zlib = kuv::zip::LinkedZlib();
        for (const std::string& path : files) {
            CountingSink sink;
            kuv::zip::CompressedMember cm;
            if (kuv::zip::CompressFile(path, request, sink, cm) != 0) ++failed;
            in += cm.uncompressedSize;
            out += cm.compressedSize;
        }
    } else if (mode == "pipeline") {
        kuv::zip::PipelineOptions options;
        options.zlib = kuv::zip::LinkedZlib();
        options.threads = argc > 3 ? static_cast<unsigned>(std::atoi(argv[3])) : 0;
        kuv::zip::CompressionPipeline pipeline(options);
        threads = pipeline.Threads();
        kuv::zip::FileListSource source(files);
        CountingConsumer consumer;
        pipeline.Run(files.size(), source, consumer);
        in = consumer.in;
        out = consumer.out;
        failed = consumer.failed;
        peak = pipeline.PeakBufferedBytes();
    } else {
        std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
        return 2;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("files=%zu failed=%llu in=%llu out=%llu seconds=%.3f MBps=%.1f threads=%u peak_buffers=%llu\n",
                files.size(), static_cast<unsigned long long>(failed), static_cast<unsigned long long>(in),
                static_cast<unsigned long long>(out), seconds, static_cast<double>(in) / 1e6 / seconds, threads,
                static_cast<unsigned long long>(peak));
    return failed == 0 ? 0 : 1;
}
