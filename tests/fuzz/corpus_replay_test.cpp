// Every seed of every fuzz target runs in the normal build, so a crash that was found once stays fixed.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "fuzz/fuzz_target.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

TEST(FuzzCorpus, EveryTargetHasSeedsAndEverySeedRunsClean) {
    ASSERT_GE(fuzzTargetCount(), 2);
    for (int i = 0; i < fuzzTargetCount(); i++) {
        const FuzzTarget* target = fuzzTargetAt(i);
        fs::path dir = fs::path(sourceDirectory()) / "fuzz" / "corpus" / target->name;
        ASSERT_TRUE(fs::is_directory(dir)) << "no seed corpus for " << target->name;
        int seeds = 0;
        for (const auto& entry : fs::directory_iterator(dir)) {
            if (!entry.is_regular_file()) continue;
            std::vector<uint8_t> bytes = readBytes(entry.path().string());
            SCOPED_TRACE(entry.path().string());
            EXPECT_EQ(target->run(bytes.data(), bytes.size()), 0);
            seeds++;
        }
        EXPECT_GT(seeds, 0) << target->name;
        // The importer also meets the real documents of the shared samples when they are there.
        fs::path samples = fs::path(sharedDirectory()) / "samples" / "collada13";
        if (std::string(target->name) == "import" && !sharedDirectory().empty() && fs::is_directory(samples)) {
            for (const auto& entry : fs::directory_iterator(samples)) {
                if (entry.path().extension() != ".dae") continue;
                std::vector<uint8_t> bytes = readBytes(entry.path().string());
                SCOPED_TRACE(entry.path().string());
                EXPECT_EQ(target->run(bytes.data(), bytes.size()), 0);
            }
        }
    }
}
