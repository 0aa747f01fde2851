// The import verb over the 2,000 real articles of ../shared/corpus/ (skipped
// when absent), run as a program twice: one news database per chosen group,
// and nothing added the second time.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace quill::test {
namespace {

const std::string Spool = QUILL_SOURCE_DIR "/../shared/corpus/news/mini_newsgroups-spool";

TEST(NewsImportVerb, RealSpoolImportsOnceIntoADatabasePerGroup) {
    if (!std::filesystem::exists(Spool)) GTEST_SKIP() << "corpus not present";
    TempDir home;
    std::string out, err;
    auto cli = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"--home", home.path()});
        return runCli(args, &out, &err);
    };
    const std::vector<std::string> import = {"import", "--type", "Gravity", "--recursive", Spool, "--masks", "*"};
    ASSERT_EQ(cli(import), 0) << err;
    EXPECT_NE(out.find("imported 1996  skipped 8  staged 2004"), std::string::npos) << out.substr(out.size() - 200);
    ASSERT_EQ(cli({"db", "list", "--json"}), 0) << err;
    std::size_t news = 0, pos = 0;
    while ((pos = out.find("\"type\":\"news\"", pos)) != std::string::npos) ++news, ++pos;
    // The 20 spool groups and the groups that some articles list first.
    EXPECT_EQ(news, 26u) << out;
    EXPECT_NE(out.find("\"description\":\"sci.space\""), std::string::npos);
    ASSERT_EQ(cli(import), 0) << err;
    EXPECT_NE(out.find("imported 0  skipped 2004  staged 2004"), std::string::npos) << out.substr(out.size() - 200);
}

}  // namespace
}  // namespace quill::test
