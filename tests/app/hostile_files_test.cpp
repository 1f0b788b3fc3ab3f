// The damaged and hostile image files of tests/data/hostile, given to the
// real program under a tight address-space limit: each must end in exit
// status 1 with exactly one line on standard error that names the file, and
// write nothing. With --max-memory raised far above the limit, a file whose
// header alone made the program take the memory it claims fails the limit
// and says so ("not enough memory") instead of naming the damage.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace globaro {
namespace {

const std::string kCorpus = std::string(GLOBARO_TEST_DATA) + "/hostile/";
// Room for the program and its libraries, far below what the files claim.
constexpr rlim_t kAddressSpace = rlim_t{2} << 30;

struct Result {
    int status = -1;
    std::string out, err;
};

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs globaro with `args` in a child limited to kAddressSpace.
Result runLimited(const std::vector<std::string>& args) {
    const std::string outPath = ::testing::TempDir() + "hostile_stdout", errPath = ::testing::TempDir() + "hostile_stderr";
    const pid_t pid = fork();
    if (pid == 0) {
#ifndef __SANITIZE_ADDRESS__
        // (AddressSanitizer reserves terabytes of address space for itself:
        // there the files' behaviour is checked without the limit.)
        const rlimit limit{kAddressSpace, kAddressSpace};
        setrlimit(RLIMIT_AS, &limit);
#endif
        setenv("MALLOC_ARENA_MAX", "2", 1);  // the limit must not depend on the number of cores
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(out, 1);
        dup2(err, 2);
        std::vector<char*> argv{const_cast<char*>(GLOBARO_CLI_PATH)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(GLOBARO_CLI_PATH, argv.data());
        _exit(127);
    }
    Result r;
    int raw = 0;
    if (pid < 0 || waitpid(pid, &raw, 0) != pid) return r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = slurp(outPath);
    r.err = slurp(errPath);
    return r;
}

struct Case {
    const char* input;  // from the corpus
    const char* mask;   // from the corpus, or null
    const char* named;  // the file the message must name
};

TEST(HostileFiles, FailInOneLineNamingTheFileAndWriteNothing) {
    const Case cases[] = {
        {"png-truncated.png", nullptr, "png-truncated.png"},
        {"png-corrupt.png", nullptr, "png-corrupt.png"},
        {"png-huge-header.png", nullptr, "png-huge-header.png"},
        {"jpeg-truncated.jpg", nullptr, "jpeg-truncated.jpg"},
        {"jpeg-corrupt.jpg", nullptr, "jpeg-corrupt.jpg"},
        {"jpeg-huge-header.jpg", nullptr, "jpeg-huge-header.jpg"},
        {"tiff-truncated.tif", nullptr, "tiff-truncated.tif"},
        {"tiff-corrupt.tif", nullptr, "tiff-corrupt.tif"},
        {"tiff-huge-header.tif", nullptr, "tiff-huge-header.tif"},
        {"exr-truncated.exr", nullptr, "exr-truncated.exr"},
        {"exr-corrupt.exr", nullptr, "exr-corrupt.exr"},
        {"hdr-truncated.hdr", nullptr, "hdr-truncated.hdr"},
        {"hdr-huge-header.hdr", nullptr, "hdr-huge-header.hdr"},
        {"valid-64x48.png", "mask-truncated.tif", "mask-truncated.tif"},
        {"valid-64x48.png", "mask-truncated.png", "mask-truncated.png"},
    };
    const std::string output = ::testing::TempDir() + "hostile_output.png";
    for (const Case& c : cases) {
        for (const bool info : {false, true}) {
            // The info command reads through the same reader: the huge
            // headers are enough for it.
            if (info && std::string(c.input).find("huge") == std::string::npos) continue;
            std::filesystem::remove(output);
            std::vector<std::string> args;
            if (info) args = {"info", kCorpus + c.input};
            else args = {"render", "--quiet", kCorpus + c.input, output};
            args.insert(args.end(), {"--max-memory", "64G"});
            if (c.mask != nullptr) args.insert(args.end(), {"--mask", kCorpus + c.mask});
            const Result r = runLimited(args);
            const std::string what = std::string(info ? "info " : "render ") + c.input;
            EXPECT_EQ(r.status, 1) << what << "\n" << r.err;
            EXPECT_EQ(r.out, "") << what;
            ASSERT_FALSE(r.err.empty()) << what;
            EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << what << ": not one line:\n" << r.err;
            EXPECT_NE(r.err.find(c.named), std::string::npos) << what << ": " << r.err;
            EXPECT_EQ(r.err.find("memory"), std::string::npos) << what << ": " << r.err;
            EXPECT_FALSE(std::filesystem::exists(output)) << what;
        }
    }
}

// Without --max-memory, an image larger than one image may take is refused
// from its header, before anything is read, and the message says how to
// allow more.
TEST(HostileFiles, ImagesAboveTheMemoryLimitAreRefusedClearly) {
    const Result r = runLimited({"info", kCorpus + "valid-64x48.png", "--max-memory", "8K"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "globaro: cannot read \"" + kCorpus +
                         "valid-64x48.png\": a 64 x 48 image needs 9 KiB, more than the 8 KiB allowed for one image "
                         "(--max-memory sets it)\n");
    const Result canvas = runLimited({"render", kCorpus + "valid-64x48.png", ::testing::TempDir() + "never.png",
                                   "--size", "100x100", "--max-memory", "20K"});
    EXPECT_EQ(canvas.status, 2);
    EXPECT_NE(canvas.err.find("a 100 x 100 image needs 40 KiB"), std::string::npos) << canvas.err;
    EXPECT_FALSE(std::filesystem::exists(::testing::TempDir() + "never.png"));
}

}  // namespace
}  // namespace globaro
