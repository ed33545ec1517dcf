// One program per analyser card: a second one is refused before it touches the ports, the refusal
// names the holder, and the card is free again as soon as the holder lets go.
#include "acquisition/analyser_io/card_lock.h"
#include "acquisition/analyser_io/port_backend.h"
#include "common/clock.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

using namespace korvo;
using namespace korvo::testing;

TEST(CardLock, ASecondProgramIsRefusedUntilTheFirstLetsGo) {
    TempDir dir;
    const std::string path = dir.file("card.lock");
    ScopedEnv own("KORVO_CARD_LOCK", path.c_str());
    ASSERT_EQ(cardLockPath(), path);

    std::string error;
    auto first = CardLock::acquire(path, &error);
    ASSERT_TRUE(first) << error;
    EXPECT_FALSE(CardLock::acquire(path, &error));
    EXPECT_EQ(error, "The analyser card is in use by another program (process " + std::to_string(getpid()) +
                         "): it holds the lock " + path + ".");
    // The real card's back end asks for the lock before it asks for the ports.
    SteadyClock clock;
    error.clear();
    EXPECT_FALSE(makePortBackend("port", clock, &error));
    EXPECT_NE(error.find("in use by another program"), std::string::npos) << error;
    // The simulated card is every program's own.
    EXPECT_TRUE(makePortBackend("sim", clock, &error));

    first.reset();
    EXPECT_TRUE(CardLock::acquire(path, &error)) << error;

    // A link planted in the lock's place is not followed.
    const std::string planted = dir.file("planted.lock");
    std::filesystem::create_symlink(dir.file("victim"), planted);
    EXPECT_FALSE(CardLock::acquire(planted, &error));
    EXPECT_NE(error.find("cannot be opened"), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(dir.file("victim")));
}
