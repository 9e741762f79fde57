// Loads scene files with our own scene layer and evaluates every parameter of every node once.
//   scanflow_bench_hip SCENE.hip [SCENE.hip ...]
#include <chrono>
#include <cstdio>
#include <string>

#include "base/errors.h"
#include "host/hip/hip_host.h"

using namespace scanflow;

int main(int argc, char** argv) {
    std::printf("%-40s %10s %8s %8s %10s %10s %8s\n", "scene", "bytes", "nodes", "parms", "load ms",
                "eval ms", "errors");
    for (int i = 1; i < argc; ++i) {
        std::string path = argv[i];
        FILE* f = std::fopen(path.c_str(), "rb");
        long size = 0;
        if (f) {
            std::fseek(f, 0, SEEK_END);
            size = std::ftell(f);
            std::fclose(f);
        }
        auto host = hip::make_hip_host(Environment::process());
        auto t0 = std::chrono::steady_clock::now();
        try {
            host->load_hip(path);
        } catch (const LoadWarning& w) {
            std::fprintf(stderr, "%s\n", w.what());
        }
        auto t1 = std::chrono::steady_clock::now();
        size_t nodes = 0, parms = 0, errors = 0;
        for (auto& node : host->node("/")->allSubChildren()) {
            ++nodes;
            for (auto& parm : node->parms()) {
                ++parms;
                try {
                    (void)parm->eval();
                } catch (const std::exception&) {
                    ++errors;
                }
            }
        }
        auto t2 = std::chrono::steady_clock::now();
        auto ms = [](auto a, auto b) {
            return std::chrono::duration<double, std::milli>(b - a).count();
        };
        std::string name = path.substr(path.rfind('/') + 1);
        std::printf("%-40s %10ld %8zu %8zu %10.1f %10.1f %8zu\n", name.c_str(), size, nodes, parms,
                    ms(t0, t1), ms(t1, t2), errors);
    }
    return 0;
}
