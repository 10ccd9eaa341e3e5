// Times the import of documents built to make the tessellator work hard: tessellation_bench [CASE...].
// Each case is generated in memory; without arguments every case runs. A case names one polygon of a
// shape and its corners ("comb 100000"), or a document of about 10 MB repeating one polygon over one
// shared source ("combs 16000"). Prints the time, the triangles made and the import's warnings.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "import/scene_import.h"
#include "object/mesh.h"
#include "object/node.h"
#include "object/object.h"
#include "object/object_model.h"
#include "strings/string_table.h"
#include "system/files.h"

namespace {
typedef std::vector<std::pair<double, double>> Outline;

// Teeth along x side by side: GLU's sweep costs the square of the corners.
Outline comb(int32_t corners) {
    Outline o{{0, 0}};
    int32_t teeth = corners / 4;
    for (int32_t j = 0; j < teeth; j++) {
        if (j > 0) o.push_back({1, 2.0 * j});
        o.push_back({10, 2.0 * j});
        o.push_back({10, 2.0 * j + 1});
        if (j < teeth - 1) o.push_back({1, 2.0 * j + 1});
    }
    o.push_back({0, 2.0 * teeth - 1});
    return o;
}

// Every edge crosses most others: GLU sweeps all crossings before refusing it.
Outline star(int32_t corners) {
    Outline o;
    for (int32_t i = 0; i < corners; i++) {
        double a = 2 * M_PI * (double)((int64_t)i * ((corners - 1) / 2) % corners) / corners;
        o.push_back({std::cos(a), std::sin(a)});
    }
    return o;
}

// Back and forth along one line: every corner lies inside many edges.
Outline zigzag(int32_t corners) {
    Outline o;
    for (int32_t i = 0; i < corners - 1; i++) o.push_back({(double)(i % 2 ? corners - i : i), 0});
    o.push_back({corners / 2.0, 1});
    return o;
}

// A jagged outline whose radius changes at random from corner to corner.
Outline jagged(int32_t corners) {
    Outline o;
    uint32_t seed = 4;
    for (int32_t i = 0; i < corners; i++) {
        seed = seed * 1664525u + 1013904223u;
        double r = 1 + 0.3 * (seed >> 8) / 16777216.0, a = 2 * M_PI * i / corners;
        o.push_back({r * std::cos(a), r * std::sin(a)});
    }
    return o;
}

Outline bowtie(int32_t) { return {{0, 0}, {1, 1}, {1, 0}, {0, 1}}; }

// A document whose one geometry holds the outline's corners and `copies` polygons naming them all.
std::string document(const Outline& o, int64_t targetBytes) {
    std::string positions, p = "<p>";
    char number[64];
    for (const auto& c : o) {
        std::snprintf(number, sizeof number, "%.9g %.9g 0 ", c.first, c.second);
        positions += number;
    }
    for (size_t i = 0; i < o.size(); i++) p += std::to_string(i) + " ";
    p += "</p>\n";
    int64_t copies = targetBytes > 0 ? std::max<int64_t>(1, targetBytes / (int64_t)p.size()) : 1;
    std::string doc = "<?xml version=\"1.0\"?>\n<COLLADA version=\"1.3.1\"><library type=\"GEOMETRY\">"
                      "<geometry id=\"g\"><mesh><source id=\"g-pos\"><float_array count=\"" +
                      std::to_string(3 * o.size()) + "\">" + positions +
                      "</float_array><technique profile=\"COMMON\"><accessor stride=\"3\"/></technique></source>"
                      "<vertices id=\"g-vtx\"><input semantic=\"POSITION\" source=\"#g-pos\"/></vertices>"
                      "<polygons><input semantic=\"VERTEX\" source=\"#g-vtx\" idx=\"0\"/>\n";
    doc.reserve(doc.size() + copies * p.size() + 200);
    for (int64_t i = 0; i < copies; i++) doc += p;
    return doc + "</polygons></mesh></geometry></library>"
                 "<scene><node id=\"n\"><instance url=\"#g\"/></node></scene></COLLADA>\n";
}

struct Case {
    const char* name;
    Outline (*shape)(int32_t);
    bool tenMegabytes;
};
const Case kCases[] = {{"comb", comb, false},     {"combs", comb, true},     {"stars", star, true},
                       {"zigzags", zigzag, true}, {"jagged", jagged, true}, {"bowties", bowtie, true}};

void run(const Case& c, int32_t corners, int32_t messages) {
    std::string doc = document(c.shape(corners), c.tenMegabytes ? 10000000 : 0);
    stringTableClear(messages);
    auto start = std::chrono::steady_clock::now();
    int32_t root = importSceneMemory(-1, (const uint8_t*)doc.data(), (int32_t)doc.size(), "/tmp/",
                                     "/tmp/vcv_tessellation_bench_textures/", messages);
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    int64_t triangles = 0;
    for (int32_t i = 0; i < meshTable.capacity; i++)
        if (const Mesh* m = meshGet(i)) triangles += m->indexCount / 3;
    std::printf("%-8s %7d corners, %5.1f MB: %9.1f ms, %lld triangles\n", c.name, corners, doc.size() / 1e6, ms,
                (long long)triangles);
    for (int32_t i = 0; i < stringTableCount(messages); i++)
        if (std::strstr(stringTableText(messages, i), "WARNING")) std::printf("    %s\n", stringTableText(messages, i));
    nodeDestroy(root);
    objectCollect();
}
}  // namespace

int main(int argc, char** argv) {
    makeDirectories("/tmp/vcv_tessellation_bench_textures/");
    stringsInit();
    objectModelInit();
    int32_t messages = stringTableCreate(-1);
    if (argc >= 3) {
        for (int i = 1; i + 1 < argc; i += 2)
            for (const Case& c : kCases)
                if (std::strcmp(c.name, argv[i]) == 0) run(c, std::atoi(argv[i + 1]), messages);
    } else {
        run(kCases[0], 50000, messages);
        run(kCases[0], 100000, messages);
        for (int32_t corners : {1000, 16000}) run(kCases[1], corners, messages);
        for (int32_t corners : {21, 401}) run(kCases[2], corners, messages);
        run(kCases[3], 400, messages);
        run(kCases[4], 2000, messages);
        run(kCases[5], 4, messages);
    }
    objectModelShutdown();
    stringsShutdown();
    return 0;
}
