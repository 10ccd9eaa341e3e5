// Models stand upright on screen: the early-profile humanoid placed by its matrices, and one
// generated model written in both profiles, which must give the same picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "window_shot.h"

namespace {
// Runs vcv on a model for a few frames and returns its last frame.
Shot show(const std::string& model, std::vector<std::string> extra = {}) {
    TempDir home;
    std::string png = home.file("shot.png");
    std::vector<std::string> args{builtProgram("viewer/vcv"), "--frames", "4", "--screenshot", png};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back(model);
    ChildProcess child = startProcess(args, {"VCV_HOME=" + home.path(), "ASAN_OPTIONS=detect_leaks=0:abort_on_error=1"});
    EXPECT_EQ(waitProcess(child, 120000), 0) << model;
    return loadPng(png);
}

// Bounding box of the pixels that are not the background, below the menu bar.
void modelBox(const Shot& p, int* width, int* height) {
    int x0 = p.width, y0 = p.height, x1 = -1, y1 = -1;
    for (int y = 40; y < p.height; y++)
        for (int x = 0; x < p.width; x++) {
            const uint8_t* c = &p.rgb[3 * ((size_t)y * p.width + x)];
            if (c[0] == 96 && c[1] == 136 && c[2] == 176) continue;
            x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
        }
    *width = x1 - x0 + 1;
    *height = y1 - y0 + 1;
}

// Share of pixels whose colour differs by more than a few steps in some channel.
double differingShare(const Shot& a, const Shot& b) {
    if (a.rgb.size() != b.rgb.size() || a.rgb.empty()) return 1.0;
    size_t differing = 0;
    for (size_t i = 0; i < a.rgb.size(); i += 3)
        for (int k = 0; k < 3; k++)
            if (std::abs(a.rgb[i + k] - b.rgb[i + k]) > 8) {
                differing++;
                break;
            }
    return (double)differing / (double)(a.rgb.size() / 3);
}

// Share of pixels that are background in one picture and not in the other: the outlines differ.
double outlineDifference(const Shot& a, const Shot& b) {
    if (a.rgb.size() != b.rgb.size() || a.rgb.empty()) return 1.0;
    auto background = [](const uint8_t* c) { return c[0] == 96 && c[1] == 136 && c[2] == 176; };
    size_t differing = 0;
    for (size_t i = 0; i < a.rgb.size(); i += 3) differing += background(&a.rgb[i]) != background(&b.rgb[i]);
    return (double)differing / (double)(a.rgb.size() / 3);
}
}  // namespace

TEST(UpAxis, TheHumanoidIsAFigureAndStandsWhenItsUpAxisIsGiven) {
    std::string shared = sharedDirectory();
    if (shared.empty()) GTEST_SKIP() << "no shared samples beside the checkout";
    std::string model = shared + "samples/collada13/humanoid-collada131-baked-matrix.dae";
    // Its parts in place make a figure as long as the window allows, not a pile at the origin. Its
    // writer declared Z_UP but laid the figure out along Y, so as declared it lies on its side.
    Shot p = show(model);
    ASSERT_EQ(p.width, 800);
    int w = 0, h = 0;
    modelBox(p, &w, &h);
    EXPECT_GT(w, 300) << "model box " << w << "x" << h;
    // Saying Z_UP again on the command line changes nothing.
    Shot same = show(model, {"--up", "Z"});
    EXPECT_LT(differingShare(p, same), 0.001);
    // Read as Y up, it stands.
    Shot standing = show(model, {"--up", "Y"});
    modelBox(standing, &w, &h);
    EXPECT_GT(h, 300);
    EXPECT_GT(h, 3 * w) << "model box " << w << "x" << h;
}

TEST(UpAxis, OneModelInBothProfilesGivesTheSamePicture) {
    std::string shared = sharedDirectory();
    if (shared.empty()) GTEST_SKIP() << "no shared generator beside the checkout";
    TempDir dir;
    // Both name the same image, so that both are textured alike and no message box covers them.
    writeBytes(dir.file("wood.png"), readBytes(sourceDirectory() + "assets/sample/wood.png"));
    Shot pictures[2];
    for (int v14 = 0; v14 < 2; v14++) {
        std::string file = dir.file(v14 ? "v14.dae" : "v13.dae");
        int code = -1;
        std::string out = runCommand("python3 '" + shared + "bench/gen_dae.py' " + (v14 ? "--v14 " : "") +
                                         "--quads 200 --geoms 4 --holes 3 --tex-name wood.png --out '" + file + "' 2>&1",
                                     &code);
        ASSERT_EQ(code, 0) << out;
        pictures[v14] = show(file);
    }
    int w = 0, h = 0;
    modelBox(pictures[0], &w, &h);
    EXPECT_GT(w * h, 100 * 100);
    // The generator writes the material's colours a little differently in each profile, so the
    // shading may differ; the outline may not.
    EXPECT_LT(outlineDifference(pictures[0], pictures[1]), 0.001);
}
