#include <gtest/gtest.h>

#include "test_support.hpp"
#include "torvane/front.hpp"

using namespace torvane_test;

namespace {

const std::vector<std::string> k_commands{"figdeck"};

// Runs the front in-process on a fixed command list, capturing both outputs.
RunResult run_front(const std::vector<torvane::CommandEntry>& commands,
                    std::vector<std::string> args) {
    args.insert(args.begin(), "torvane");
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    RunResult result;
    result.status = torvane::front::run(static_cast<int>(args.size()), argv.data(), commands);
    result.out = testing::internal::GetCapturedStdout();
    result.err = testing::internal::GetCapturedStderr();
    return result;
}

torvane::CommandEntry fake_command(torvane::CommandFunction function) {
    return {"fake", "Does fake things.", "Config help", "Template help", std::move(function)};
}

}  // namespace

TEST(FrontCli, NoArgumentsListsTheCommandsOnStandardErrorWithStatus2) {
    TempDir dir;
    const auto result = run_torvane({}, dir.path());
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
    for (const auto& command : k_commands) {
        EXPECT_NE(result.err.find("  " + command + " "), std::string::npos) << result.err;
    }
}

TEST(FrontCli, HelpListsTheCommandsWithStatus0) {
    TempDir dir;
    const auto result = run_torvane({"--help"}, dir.path());
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_NE(result.out.find("Usage: torvane <command>"), std::string::npos);
    // Names are padded to the longest command name, so the gap depends on the tools built.
    const auto figdeck = result.out.find("\n  figdeck  ");
    ASSERT_NE(figdeck, std::string::npos) << result.out;
    const auto summary = result.out.find_first_not_of(' ', figdeck + 11);
    EXPECT_EQ(result.out.compare(summary, 21, "Generate a PDF report"), 0) << result.out;
}

TEST(FrontCli, VersionIsPrinted) {
    TempDir dir;
    const auto result = run_torvane({"--version"}, dir.path());
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out.rfind("torvane ", 0), 0u);
    EXPECT_EQ(lines_of(result.out).size(), 1u);
}

TEST(FrontCli, UnknownCommandIsAUsageErrorNamingIt) {
    TempDir dir;
    const auto result = run_torvane({"figdek", "-c", "x.json"}, dir.path());
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("unknown command 'figdek'"), std::string::npos) << result.err;
}

TEST(FrontCli, UnknownOptionIsAUsageErrorNamingIt) {
    TempDir dir;
    const auto result = run_torvane({"figdeck", "--bogus"}, dir.path());
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("--bogus"), std::string::npos) << result.err;
    EXPECT_FALSE(fs::exists(dir / "config_figdeck_template.json"));
}

TEST(FrontCli, ConfigPathThatDoesNotExistIsAUsageErrorBeforeTheCommandRuns) {
    TempDir dir;
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"figdeck", "-c", "no such.json"},
             {"figdeck", "--config", "no such.json", "--generate-config"}}) {
        const auto result = run_torvane(args, dir.path());
        EXPECT_EQ(result.status, 2);
        EXPECT_NE(result.err.find("--config"), std::string::npos) << result.err;
        EXPECT_NE(result.err.find("'no such.json'"), std::string::npos) << result.err;
        EXPECT_EQ(result.out, "");
    }
    EXPECT_FALSE(fs::exists(dir / "config_figdeck_template.json"));
}

TEST(FrontCli, CommandGetsTheConfigPathAndTheFlag) {
    TempDir dir;
    write_file(dir / "c.json", "{}");
    std::optional<std::string> seen_config = "unset";
    bool seen_flag = false;
    const auto commands = std::vector{fake_command([&](const auto& config, bool flag) {
        seen_config = config;
        seen_flag = flag;
        return 7;
    })};
    EXPECT_EQ(run_front(commands, {"fake"}).status, 7);
    EXPECT_FALSE(seen_config.has_value());
    EXPECT_FALSE(seen_flag);
    const auto path = (dir / "c.json").string();
    EXPECT_EQ(run_front(commands, {"fake", "-c", path, "--generate-config"}).status, 7);
    EXPECT_EQ(seen_config, path);
    EXPECT_TRUE(seen_flag);
}

TEST(FrontCli, UnhandledExceptionsBecomeOneErrorLineWithStatus1) {
    auto throwing = std::vector{fake_command([](const auto&, bool) -> int {
        throw std::runtime_error("the disk is full");
    })};
    auto result = run_front(throwing, {"fake"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "Error: the disk is full\n");

    auto strange = std::vector{fake_command([](const auto&, bool) -> int { throw 42; })};
    result = run_front(strange, {"fake"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "Error: unexpected failure\n");

    // A file name in the message cannot drive the terminal; the message's own lines stay.
    auto named = std::vector{fake_command([](const auto&, bool) -> int {
        throw std::runtime_error("cannot read 'a\x1b[2J\rforged\xc2\x9b.json'\nLooked for it");
    })};
    result = run_front(named, {"fake"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "Error: cannot read 'a\\x1b[2J\\rforged\\u009b.json'\nLooked for it\n");
}

TEST(FrontCli, CommandHelpHasUsageTextAndOptions) {
    torvane::CommandEntry entry = fake_command([](const auto&, bool) { return 0; });
    entry.help = std::string(30, 'w') + " " + std::string(30, 'x') + " " + std::string(30, 'y') +
                "\n\n\b\n" + std::string(100, 'z') + "\n";
    const auto result = run_front({entry}, {"fake", "--help"});
    EXPECT_EQ(result.status, 0);
    const auto lines = lines_of(result.out);
    ASSERT_GE(lines.size(), 9u) << result.out;
    EXPECT_EQ(lines[0], "Usage: torvane fake [OPTIONS]");
    EXPECT_EQ(lines[1], "");
    // Not a terminal: wrapped to 80 columns; the marked paragraph stays one long line.
    EXPECT_EQ(lines[2], std::string(30, 'w') + " " + std::string(30, 'x'));
    EXPECT_EQ(lines[3], std::string(30, 'y'));
    EXPECT_EQ(lines[5], std::string(100, 'z'));
    EXPECT_NE(result.out.find("Options:\n  -c, --config PATH  Config help\n"
                              "  --generate-config  Template help\n  -h, --help"),
              std::string::npos)
        << result.out;
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "");
    EXPECT_EQ(lines.back(), "See 'man torvane' for the configuration keys and their defaults.");
}

namespace {

// The shared objects the dynamic loader maps for one run of torvane, from its own trace.
std::vector<std::string> mapped_libraries(const std::vector<std::string>& args, const TempDir& dir) {
    const auto result = run_torvane(args, dir.path(), {{"LD_DEBUG", "files"}});
    std::vector<std::string> libraries;
    for (const auto& line : lines_of(result.err)) {
        const auto start = line.find("file=");
        const auto end = line.find(" [", start);
        if (start != std::string::npos && end != std::string::npos) {
            libraries.push_back(line.substr(start + 5, end - start - 5));
        }
    }
    return libraries;
}

bool maps(const std::vector<std::string>& libraries, std::string_view prefix) {
    for (const auto& library : libraries) {
        if (library.starts_with(prefix) || library.find("/" + std::string(prefix)) != std::string::npos) {
            return true;
        }
    }
    return false;
}

const std::vector<std::string> k_workbook_libraries{"libhelmkit_workbook", "libzip", "libexpat",
                                                    "libfreexl", "libxlsxwriter", "libcsv"};

}  // namespace

TEST(FrontLoading, HelpVersionAndTemplatesMapNoToolLibrary) {
    TempDir dir;
    ASSERT_TRUE(maps(mapped_libraries({"--version"}, dir), "libhelmkit.so"))
        << "the loader's trace was not read";
    std::vector<std::vector<std::string>> runs{{"--version"}, {"--help"}};
    for (const auto& command : torvane::front::builtin_commands()) {
        runs.push_back({command.name, "--help"});
        runs.push_back({command.name, "--generate-config"});
        runs.push_back({command.name});
    }
    for (const auto& args : runs) {
        const auto libraries = mapped_libraries(args, dir);
        EXPECT_FALSE(maps(libraries, "libtorvane_")) << args[0] << " " << args.back();
        for (const auto& library : k_workbook_libraries) {
            EXPECT_FALSE(maps(libraries, library)) << args[0] << " " << args.back() << ": " << library;
        }
    }
}

TEST(FrontLoading, ACommandOpensItsOwnLibraryOnlyWhenItsWorkRuns) {
    TempDir dir;
    write_file(dir / "no_section.json", R"({"other": {}})");
    EXPECT_FALSE(maps(mapped_libraries({"dealmatch", "-c", "no_section.json"}, dir), "libtorvane_"));

    write_file(dir / "merge.json", R"({"config": {"input_folder": "in", "output_file": "out.pdf"}})");
    write_file(dir / "site.json", R"({"config": {"input_folder": "in", "output_folder": "site"}})");
    fs::create_directories(dir / "in");
    for (const auto& command : torvane::front::builtin_commands()) {
        if (command.name != "gridpage" && command.name != "chartdoc") continue;
        if (!command.missing_facility.empty()) continue;
        const auto config = command.name == "gridpage" ? "merge.json" : "site.json";
        const auto libraries = mapped_libraries({command.name, "-c", config}, dir);
        EXPECT_TRUE(maps(libraries, "libtorvane_" + command.name + ".so")) << command.name;
        for (const auto& other : torvane::front::builtin_commands()) {
            if (other.name == command.name) continue;
            EXPECT_FALSE(maps(libraries, "libtorvane_" + other.name + ".so")) << command.name;
        }
        for (const auto& library : k_workbook_libraries) {
            EXPECT_FALSE(maps(libraries, library)) << command.name << ": " << library;
        }
    }
}

TEST(FrontLoading, AMissingToolLibraryIsAnErrorOfThatCommandOnly) {
    torvane::CommandEntry entry = fake_command({});
    entry.logger_name = "Fake";
    entry.config_template = [] { return nlohmann::ordered_json{{"config", {{"key", 1}}}}; };
    entry.template_file = "config_fake_template.json";
    entry.worker = "cmd_fake";
    entry.library = "libtorvane_fake_not_built.so";
    TempDir dir;
    write_file(dir / "fake.json", R"({"config": {}})");
    const auto cwd = fs::current_path();
    fs::current_path(dir.path());
    const auto templated = run_front({entry}, {"fake", "--generate-config"});
    const auto missing = run_front({entry}, {"fake", "-c", "fake.json"});
    fs::current_path(cwd);
    EXPECT_EQ(templated.status, 0) << templated.err;
    EXPECT_TRUE(fs::exists(dir / "config_fake_template.json"));
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err.rfind("Error: cannot load the command's library: "
                                "libtorvane_fake_not_built.so: cannot open shared object file",
                                0),
              0u)
        << missing.err;
}

// A configuration nested far beyond any real one, or one that never ends, is refused by every
// tool the way it refuses invalid JSON: same status, one message naming the file.
TEST(FrontCli, DeepOrEndlessConfigurationsAreRefusedLikeInvalidJsonByEveryTool) {
    TempDir dir;
    write_file(dir / "invalid.json", "{\"config\": ,}");
    write_file(dir / "deep.json", "{\"config\": {\"unused\": " + std::string(100000, '[') +
                                      std::string(100000, ']') + "}}");
    for (const char* tool : {"figdeck", "gridpage", "chartdoc", "dealmatch", "claimsort"}) {
        const auto invalid = run_torvane({tool, "-c", "invalid.json"}, dir.path());
        EXPECT_NE(invalid.err.find("'invalid.json' is not valid JSON"), std::string::npos)
            << tool << "\n" << invalid.err;
        const auto deep = run_torvane({tool, "-c", "deep.json"}, dir.path());
        EXPECT_EQ(deep.status, invalid.status) << tool << "\n" << deep.err;
        EXPECT_NE(deep.err.find("'deep.json' nests lists and objects deeper than 512 levels"),
                  std::string::npos)
            << tool << "\n" << deep.err;
        const auto endless = run_torvane({tool, "-c", "/dev/zero"}, dir.path());
        EXPECT_EQ(endless.status, invalid.status) << tool << "\n" << endless.err;
        EXPECT_NE(endless.err.find("'/dev/zero': not a regular file"), std::string::npos)
            << tool << "\n" << endless.err;
    }
}
