// Decoding speed of the engine's JPEG decoder against libjpeg-turbo's djpeg on a photo-like
// 4096 x 4096 4:2:0 image.
//
//   jpeg_bench [--reps N] [--check] [file.jpg]
//   jpeg_bench --make OUT.jpg      only writes the generated image (for bench/run.sh)
//
// Without a file the image is generated (smooth gradients, texture, hard-edged shapes and
// noise, written as PPM and encoded with cjpeg -sample 2x2 -quality 90) in a temporary folder.
// Each decoder runs N times (default 7) and the fastest run counts; djpeg runs as a separate
// process writing to /dev/null, so its time includes process start and file reading (ours is the
// in-memory decode into a freshly allocated RGB image). --check also decodes with the bit-by-bit
// reference decoder and compares every byte of the fast and the portable decoders with it.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "pack/jpeg_decoder.h"
#include "system/memory.h"

extern char** environ;

namespace {

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

std::vector<uint8_t> readFile(const std::string& path) {
    std::vector<uint8_t> bytes;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return bytes;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
    std::fclose(f);
    return bytes;
}

// Runs a program with arguments and waits; returns its exit status or -1.
int run(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) < 0) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A photo-like picture: large smooth gradients, a fine texture, some hard-edged discs and
// sensor-like noise, so that the entropy-coded data has a realistic density.
std::vector<uint8_t> photoPpm(int w, int h) {
    std::string header = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    std::vector<uint8_t> ppm(header.begin(), header.end());
    size_t base = ppm.size();
    ppm.resize(base + (size_t)w * h * 3);
    uint32_t seed = 12345;
    struct Disc {
        float x, y, r, c[3];
    } discs[24];
    for (Disc& d : discs) {
        seed = seed * 1664525u + 1013904223u;
        d.x = (float)(seed >> 8) / 16777216.0f * w;
        seed = seed * 1664525u + 1013904223u;
        d.y = (float)(seed >> 8) / 16777216.0f * h;
        seed = seed * 1664525u + 1013904223u;
        d.r = 40.0f + (float)(seed >> 8) / 16777216.0f * w / 10;
        for (float& c : d.c) {
            seed = seed * 1664525u + 1013904223u;
            c = (float)(seed >> 24);
        }
    }
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            float v[3];
            for (int c = 0; c < 3; c++)
                v[c] = 128.0f + 60.0f * std::sin(x * 0.004f * (c + 1) + y * 0.002f) +
                       40.0f * std::cos(y * 0.006f - x * 0.001f * c) + 6.0f * std::sin(x * 0.3f + y * 0.17f);
            for (const Disc& d : discs) {
                float dx = x - d.x, dy = y - d.y;
                if (dx * dx + dy * dy < d.r * d.r)
                    for (int c = 0; c < 3; c++) v[c] = 0.5f * v[c] + 0.5f * d.c[c];
            }
            for (int c = 0; c < 3; c++) {
                seed = seed * 1664525u + 1013904223u;
                int n = (int)((seed >> 24) % 17) - 8;
                int iv = (int)v[c] + n;
                ppm[base + ((size_t)y * w + x) * 3 + c] = (uint8_t)(iv < 0 ? 0 : (iv > 255 ? 255 : iv));
            }
        }
    return ppm;
}

}  // namespace

int main(int argc, char** argv) {
    int reps = 7;
    bool check = false;
    std::string file, make;
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "--make") == 0 && i + 1 < argc)
            make = argv[++i];
        else if (std::strcmp(argv[i], "--reps") == 0 && i + 1 < argc)
            reps = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--check") == 0)
            check = true;
        else
            file = argv[i];
    }
    if (reps < 1) reps = 1;

    if (!make.empty()) {
        std::string ppm = make + ".ppm";
        bool made = writeFile(ppm, photoPpm(4096, 4096)) &&
                    run({"cjpeg", "-sample", "2x2", "-quality", "90", "-outfile", make, ppm}) == 0;
        std::remove(ppm.c_str());
        if (!made) std::fprintf(stderr, "cannot make %s (is cjpeg installed?)\n", make.c_str());
        return made ? 0 : 1;
    }

    std::string tempDir;
    if (file.empty()) {
        char pattern[] = "/tmp/vcv_jpeg_bench_XXXXXX";
        if (!mkdtemp(pattern)) return 1;
        tempDir = pattern;
        std::string ppm = tempDir + "/photo.ppm";
        file = tempDir + "/photo.jpg";
        std::printf("generating 4096x4096 photo-like image ...\n");
        if (!writeFile(ppm, photoPpm(4096, 4096))) return 1;
        if (run({"cjpeg", "-sample", "2x2", "-quality", "90", "-outfile", file, ppm}) != 0) {
            std::fprintf(stderr, "cjpeg failed (is libjpeg-turbo-progs installed?)\n");
            return 1;
        }
        std::remove(ppm.c_str());
    }
    std::vector<uint8_t> data = readFile(file);
    if (data.empty()) {
        std::fprintf(stderr, "cannot read %s\n", file.c_str());
        return 1;
    }

    int32_t w = 0, h = 0;
    // Fastest of reps decodes with the given decoder variant; -1 when the file is rejected.
    auto timeDecoder = [&](int32_t variant) {
        jpeg_select_decoder(variant);
        double best = 1e9;
        for (int i = 0; i < reps; i++) {
            uint8_t* pixels = nullptr;
            int32_t ok = 0;
            double t0 = now();
            jpeg_decode_memory(&pixels, data.data(), (int32_t)data.size(), &w, &h, 0, &ok);
            double t = now() - t0;
            pixels = (uint8_t*)memFree(pixels, "vorpack_1_11", __LINE__);
            if (!ok) best = -1;
            if (t < best) best = t;
        }
        jpeg_select_decoder(JPEG_DECODER_FAST);
        return best;
    };
    double best = timeDecoder(JPEG_DECODER_FAST);
    double bestPortable = timeDecoder(JPEG_DECODER_PORTABLE);
    if (best < 0 || bestPortable < 0) {
        std::fprintf(stderr, "decoder rejected %s\n", file.c_str());
        return 1;
    }

    double bestDjpeg = 1e9;
    for (int i = 0; i < reps; i++) {
        double t0 = now();
        int status = run({"djpeg", "-outfile", "/dev/null", file});
        double t = now() - t0;
        if (status != 0) {
            std::fprintf(stderr, "djpeg failed\n");
            bestDjpeg = -1;
            break;
        }
        if (t < bestDjpeg) bestDjpeg = t;
    }

    std::printf("file      %s (%zu bytes, %dx%d)\n", file.c_str(), data.size(), (int)w, (int)h);
    std::printf("vcv       %.1f ms (best of %d)\n", best * 1000, reps);
    std::printf("portable  %.1f ms (best of %d, without the AVX2 routines)\n", bestPortable * 1000, reps);
    if (bestDjpeg > 0) {
        std::printf("djpeg     %.1f ms (best of %d, as a process)\n", bestDjpeg * 1000, reps);
        std::printf("ratio     %.2f (vcv / djpeg)\n", best / bestDjpeg);
    }

    int result = 0;
    if (check) {
        // Every variant against the bit-by-bit reference decoder, byte for byte.
        uint8_t* images[3] = {nullptr, nullptr, nullptr};
        const int32_t variants[3] = {JPEG_DECODER_REFERENCE, JPEG_DECODER_FAST, JPEG_DECODER_PORTABLE};
        double referenceTime = 0;
        bool same = true;
        for (int i = 0; i < 3; i++) {
            int32_t ok = 0;
            jpeg_select_decoder(variants[i]);
            double t0 = now();
            jpeg_decode_memory(&images[i], data.data(), (int32_t)data.size(), &w, &h, 0, &ok);
            if (i == 0) referenceTime = now() - t0;
            same = same && ok && images[i] != nullptr &&
                   (i == 0 || std::memcmp(images[0], images[i], (size_t)w * h * 3) == 0);
        }
        jpeg_select_decoder(JPEG_DECODER_FAST);
        std::printf("reference %.1f ms; fast and portable output %s\n", referenceTime * 1000,
                    same ? "identical to the reference" : "DIFFERENT from the reference");
        result = same ? 0 : 2;
        for (uint8_t*& image : images) image = (uint8_t*)memFree(image, "vorpack_1_11", __LINE__);
    }
    if (!tempDir.empty()) {
        std::remove(file.c_str());
        rmdir(tempDir.c_str());
    }
    return result;
}
