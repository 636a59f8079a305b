#include <sys/stat.h>

#include "site_fixture.hpp"

using namespace chartdoc_test;
using nlohmann::ordered_json;

namespace {

const std::string k_hint = "Hint: Run 'torvane chartdoc --generate-config' to get a template.";
const std::string k_renderer_line = "Mermaid CLI ('mmdc') is not installed or not in PATH.";

class ChartdocCommand : public SiteTest {};

}  // namespace

TEST_F(ChartdocCommand, GenerateConfigWritesTheTemplateInOrder) {
    write_file(root() / "broken.json", "not json");
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"chartdoc", "--generate-config"},
             {"chartdoc", "--generate-config", "-c", "broken.json"}}) {
        const auto result = run_torvane(args, root());
        EXPECT_EQ(result.status, 0);
        const auto path = root() / "config_chartdoc_template.json";
        EXPECT_EQ(result.out, "Success! Template file created at: " + path.string() + "\n");
        const auto written = ordered_json::parse(read_file(path));
        const ordered_json expected = ordered_json::parse(R"json({"config": {
            "input_folder": "./data_chartdoc",
            "output_folder": "./data_chartdoc/html_out",
            "index_title": "Project Documentation",
            "doc_titles": {"README.md": "README (v0.1)",
                           "test.md": "Test MarkDown Document (v0.1)"},
            "chart_titles": {"ab.mmd": "A to B Flow", "cd.mmd": "C to D Flow"}}})json");
        // ordered_json compares key order too.
        EXPECT_EQ(written, expected);
    }
    EXPECT_EQ(read_file(root() / "broken.json"), "not json");
    EXPECT_FALSE(fs::exists(root() / "data_chartdoc"));
}

TEST_F(ChartdocCommand, NoConfigPrintsTheErrorAndHint) {
    const auto result = run_torvane({"chartdoc"}, root());
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(lines_of(result.out),
              (std::vector<std::string>{
                  "Error: Please provide a JSON file path using --config or -c.", k_hint}));
}

TEST_F(ChartdocCommand, HelpShowsTheCommandTexts) {
    const auto result = run_torvane({"chartdoc", "--help"}, root());
    EXPECT_EQ(result.status, 0);
    for (const auto* text :
         {"Convert .mmd and markdown files into static HTML pages.",
          "Specify the JSON config file path", "Generate config_chartdoc_template.json"}) {
        EXPECT_NE(result.out.find(text), std::string::npos) << text;
    }
}

TEST_F(ChartdocCommand, ConfigTheLoaderRefusesEndsQuietlyWithStatus0) {
    install_standin();
    const std::vector<std::pair<std::string, std::string>> files{
        {"site.json", R"({"settings": {}})"}, {"site.json", "{\"config\": "}, {"site.json", "[]"}};
    for (const auto& [name, content] : files) {
        write_file(root() / name, content);
        const auto result = run_site();
        EXPECT_EQ(result.status, 0) << content;
        EXPECT_EQ(result.out, "") << content;
        EXPECT_EQ(log_messages(result.err, "ERROR").size(), 1u) << result.err;
    }
    EXPECT_TRUE(renderer_calls().empty());
}

TEST_F(ChartdocCommand, SectionThatIsNotAnObjectIsAnUnexpectedFailure) {
    install_standin();
    const std::vector<std::pair<ordered_json, std::string>> cases{
        {ordered_json::array({1}),
         "Error: the \"config\" section must be a JSON object, not an array"},
        {ordered_json("x"), "Error: the \"config\" section must be a JSON object, not a string"},
        {ordered_json{{"input_folder", 5}},
         "Error: 'input_folder' in the \"config\" section must be a text, not a number"},
        {ordered_json{{"output_folder", nullptr}},
         "Error: 'output_folder' in the \"config\" section must be a text, not null"}};
    for (const auto& [section, message] : cases) {
        write_config(section);
        const auto result = run_site();
        EXPECT_EQ(result.status, 1) << section;
        EXPECT_EQ(result.out, "") << section;
        EXPECT_EQ(lines_of(result.err).back(), message) << result.err;
    }
    EXPECT_TRUE(renderer_calls().empty());
}

TEST_F(ChartdocCommand, WorkedExampleOfTheTemplateConfiguration) {
    install_standin();
    write_file(root() / "data_chartdoc/README.md", "# Readme\n");
    write_file(root() / "data_chartdoc/ab.mmd", "graph TD\n  A --> B\n");
    ASSERT_EQ(run_torvane({"chartdoc", "--generate-config"}, root()).status, 0);
    fs::rename(root() / "config_chartdoc_template.json", root() / "site.json");

    const auto result = run_site();
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, report("DONE",
                                 "Successfully generated documentation in: "
                                 "./data_chartdoc/html_out/index.html"));
    EXPECT_EQ(log_messages(result.err, "INFO"),
              (std::vector<std::string>{"Created output directory: ./data_chartdoc/html_out",
                                        "Processing Markdown: README.md -> README (v0.1)",
                                        "Converting diagram: ab.mmd -> A to B Flow ...",
                                        "Generating index.html ...",
                                        "Summary: 2 pages written (1 document, 1 diagram), "
                                        "0 failed"}));
    const auto debug = log_messages(result.err, "DEBUG");
    ASSERT_EQ(debug.size(), 1u);
    EXPECT_EQ(ordered_json::parse(debug[0]),
              ordered_json::parse(read_file(root() / "site.json"))["config"]);
    EXPECT_EQ(renderer_calls(),
              (std::vector<std::vector<std::string>>{
                  {"-i", "./data_chartdoc/ab.mmd", "-o", "./data_chartdoc/html_out/ab.svg"}}));
    std::vector<std::string> written;
    for (const auto& entry : fs::directory_iterator(root() / "data_chartdoc/html_out")) {
        written.push_back(entry.path().filename().string());
    }
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written,
              (std::vector<std::string>{"README.html", "ab.html", "ab.svg", "index.html"}));
    const auto index = read_file(root() / "data_chartdoc/html_out/index.html");
    EXPECT_NE(index.find("<h3>Documentation</h3><ul><li><a href=\"README.html\"><span "
                         "class=\"icon\">\U0001F4D8</span> README (v0.1)</a></li></ul>\n"),
              std::string::npos);
    EXPECT_NE(index.find("<h3>Flow Charts</h3><ul><li><a href=\"ab.html\"><span "
                         "class=\"icon\">\U0001F4CA</span> A to B Flow</a></li></ul>\n"),
              std::string::npos);
    expect_links_both_ways(root() / "data_chartdoc/html_out");
}

TEST_F(ChartdocCommand, SectionWithoutKeysUsesTheDefaultFolders) {
    install_standin();
    write_file(root() / "data_chartdoc/notes.md", "text\n");
    write_config(ordered_json::object());
    const auto result = run_site();
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, report("DONE",
                                 "Successfully generated documentation in: "
                                 "./data_chartdoc/html_out/index.html"));
    const auto index = read_file(root() / "data_chartdoc/html_out/index.html");
    EXPECT_NE(index.find("<title>Project Documentation</title>"), std::string::npos);
    EXPECT_NE(index.find("notes</a>"), std::string::npos);
}

TEST_F(ChartdocCommand, RendererMissingIsAnErrorEvenForDocumentsOnly) {
    write_file(root() / "in/a.md", "# A\n");
    write_script(root() / "elsewhere/mmdc", k_standin_mmdc);  // not on PATH
    fs::create_directories(bin() / "mmdc");                   // a folder is no program
    write_file(bin() / "sub/mmdc", "#!/bin/sh\n");            // not executable
    write_config({{"input_folder", "in"}, {"output_folder", "out"}});
    const auto result = run_site({{"PATH", (bin() / "sub").string() + ":" + bin().string()}});
    EXPECT_EQ(result.status, 1);
    const auto lines = lines_of(result.out);
    ASSERT_EQ(lines.size(), 3u) << result.out;
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1], "[ERROR] " + k_renderer_line);
    EXPECT_EQ(lines[2], "Please install it via: npm install -g @mermaid-js/mermaid-cli");
    const auto errors = log_messages(result.err, "ERROR");
    ASSERT_EQ(errors.size(), 1u) << result.err;
    EXPECT_EQ(errors[0], k_renderer_line);
    EXPECT_NE(result.err.find("\nPlease install it via: npm install -g @mermaid-js/mermaid-cli"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(root() / "out"));
}

TEST_F(ChartdocCommand, InputFolderMissingIsAnError) {
    install_standin();
    write_config({{"input_folder", "./no such"}, {"output_folder", "out"}});
    const auto result = run_site();
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, report("ERROR", "Input folder not found: ./no such"));
    EXPECT_EQ(log_messages(result.err, "INFO").back(),
              "Looked for '" + (root() / "no such").string() + "' (current folder: '" +
                  root().string() + "')");
    EXPECT_FALSE(fs::exists(root() / "out"));
}

TEST_F(ChartdocCommand, InputThatIsAFileFailsAtTheListing) {
    install_standin();
    write_file(root() / "in.md", "# not a folder\n");
    write_config({{"input_folder", "in.md"}, {"output_folder", "out"}});
    const auto result = run_site();
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, report("ERROR", "cannot list the folder 'in.md': Not a directory"));
    EXPECT_TRUE(fs::is_directory(root() / "out"));
}

TEST_F(ChartdocCommand, OutputFolderThatCannotBeCreatedIsAnError) {
    install_standin();
    write_file(root() / "in/a.md", "# A\n");
    write_file(root() / "file", "");
    write_config({{"input_folder", "in"}, {"output_folder", "file/out"}});
    const auto result = run_site();
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out.rfind("\n[ERROR] cannot create the output folder 'file/out': ", 0), 0u)
        << result.out;
}

TEST_F(ChartdocCommand, NothingProducedIsAWarningAndLeavesTheOldIndex) {
    install_standin();
    fs::create_directories(root() / "in/sub");
    write_file(root() / "in/notes.txt", "");
    write_file(root() / "out/index.html", "earlier");
    write_config({{"input_folder", "in"}, {"output_folder", "out/new"}});
    auto result = run_site();
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out,
              report("WARNING", "No .md or .mmd files were found in the input folder."));
    EXPECT_TRUE(fs::is_directory(root() / "out/new"));
    EXPECT_TRUE(fs::is_empty(root() / "out/new"));

    // Every source failing is the same outcome.
    write_file(root() / "in/bad.md", "caf\xe9\n");
    write_file(root() / "in/bad.mmd", "graph TD\n");
    write_config({{"input_folder", "in"}, {"output_folder", "out"}});
    result = run_site({{"STANDIN_STATUS", "2"}});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out,
              report("WARNING", "No .md or .mmd files were found in the input folder."));
    EXPECT_EQ(log_messages(result.err, "ERROR").size(), 2u) << result.err;
    EXPECT_EQ(read_file(root() / "out/index.html"), "earlier");
}

TEST_F(ChartdocCommand, FailingDocumentsAreLoggedAndSkipped) {
    install_standin();
    fs::create_directories(root() / "in/folder.md");
    write_file(root() / "in/latin1.md", "caf\xe9\n");
    write_file(root() / "in/locked.md", "# locked page\n");
    fs::create_directories(root() / "out/locked.html");  // the page cannot replace a folder
    write_file(root() / "in/good.md", "# Good\n");
    write_config({{"input_folder", "in"}, {"output_folder", "out"}});
    const auto result = run_site();
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out,
              report("DONE", "Successfully generated documentation in: out/index.html"));
    const auto errors = log_messages(result.err, "ERROR");
    ASSERT_EQ(errors.size(), 3u) << result.err;
    EXPECT_EQ(errors[0], "Failed to process folder.md: cannot read 'in/folder.md': Is a directory");
    EXPECT_EQ(errors[1].rfind("Failed to process latin1.md: 'in/latin1.md' is not UTF-8 text", 0),
              0u)
        << errors[1];
    EXPECT_EQ(errors[2].rfind("Failed to process locked.md: cannot write 'out/locked.html': ", 0),
              0u)
        << errors[2];
    const auto index = read_file(root() / "out/index.html");
    EXPECT_NE(index.find("<h3>Documentation</h3><ul><li><a href=\"good.html\"><span "
                         "class=\"icon\">\U0001F4D8</span> good</a></li></ul>\n"),
              std::string::npos)
        << index;
    EXPECT_FALSE(fs::exists(root() / "out/latin1.html"));
    EXPECT_FALSE(fs::exists(root() / "out/folder.html"));
}

TEST_F(ChartdocCommand, ManyThreadsWriteTheSamePagesAndLogInTheSameOrderAsOne) {
    install_standin();
    // Documents of very different sizes, failures among them, and a page too large to be held
    // in memory while the documents after it convert.
    std::vector<std::string> expected_log;
    for (int i = 0; i < 40; ++i) {
        const auto name = "doc" + std::to_string(i) + ".md";
        std::string text = "# Document " + std::to_string(i) + "\n\n";
        for (int j = 0; j < (i * 37) % 300; ++j) text += "Some *text* and a [link](doc1.md).\n\n";
        if (i == 9) text = "caf\xe9\n";
        if (i == 17) text += std::string(6u << 20, 'x') + "\n";
        if (i == 23) {
            text = "[r]: /" + std::string(100000, 'a') + "\n\n";
            for (int k = 0; k < 1000; ++k) text += "[x][r] ";
        }
        write_file(root() / "in" / name, text);
        expected_log.push_back("INFO Processing Markdown: " + name + " -> doc" +
                               std::to_string(i));
        if (i == 9) expected_log.push_back("ERROR Failed to process doc9.md");
        if (i == 23) expected_log.push_back("ERROR Failed to process doc23.md");
    }
    // A folder where a document was: it fails as it is read ahead.
    fs::remove(root() / "in/doc31.md");
    fs::create_directories(root() / "in/doc31.md");
    expected_log.insert(expected_log.begin() + 34, "ERROR Failed to process doc31.md");

    std::map<std::string, std::string> pages_of_one;
    for (const char* threads : {"1", "4", "9"}) {
        SCOPED_TRACE(threads);
        const std::string out = std::string("out") + threads;
        write_config({{"input_folder", "in"}, {"output_folder", out}, {"rich_markdown", true}});
        const auto result = run_site({{"TORVANE_THREADS", threads}});
        EXPECT_EQ(result.status, 0) << result.err;
        std::vector<std::string> log;
        for (const auto& line : lines_of(result.err)) {
            const auto message = log_message(line);
            for (const char* level : {"INFO", "ERROR"}) {
                if (line.find(std::string(" ") + level + " ") == std::string::npos) continue;
                if (message.rfind("Processing Markdown:", 0) == 0) {
                    log.push_back(std::string(level) + " " + message);
                } else if (message.rfind("Failed to process", 0) == 0) {
                    log.push_back(std::string(level) + " " + message.substr(0, message.find(':')));
                }
            }
        }
        EXPECT_EQ(log, expected_log) << result.err;
        std::map<std::string, std::string> pages;
        for (const auto& name : folder_names(root() / out)) pages[name] = read_file(root() / out / name);
        EXPECT_EQ(pages.size(), 38u);
        EXPECT_EQ(pages.count("doc9.html") + pages.count("doc23.html"), 0u);
        EXPECT_GT(pages["doc17.html"].size(), 6u << 20);
        if (pages_of_one.empty()) {
            pages_of_one = pages;
        } else {
            EXPECT_TRUE(pages == pages_of_one);
        }
    }
}

TEST_F(ChartdocCommand, SourcesThatAreNotRegularFilesAreRefusedOneByOne) {
    install_standin();
    fs::create_directories(root() / "in");
    ASSERT_EQ(::mkfifo((root() / "in/fifo.md").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((root() / "in/fifo.mmd").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", root() / "in/zero.md");
    fs::create_symlink("/dev/zero", root() / "in/zero.mmd");
    fs::create_symlink("fifo.md", root() / "in/via-link.md");
    write_file(root() / "in/target.md", "# Target\n");
    fs::create_symlink("target.md", root() / "in/linked.md");
    write_file(root() / "in/good.mmd", "graph TD\n");
    for (const bool batch : {false, true}) {
        write_config({{"input_folder", "in"}, {"output_folder", "out"}, {"batch_render", batch}});
        const auto result = run_site();
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out,
                  report("DONE", "Successfully generated documentation in: out/index.html"));
        const std::vector<std::string> expected{
            "Failed to process fifo.md: cannot read 'in/fifo.md': not a regular file",
            "Failed to process via-link.md: cannot read 'in/via-link.md': not a regular file",
            "Failed to process zero.md: cannot read 'in/zero.md': not a regular file",
            "Failed to convert fifo.mmd: cannot read 'in/fifo.mmd': not a regular file",
            "Failed to convert zero.mmd: cannot read 'in/zero.mmd': not a regular file"};
        EXPECT_EQ(log_messages(result.err, "ERROR"), expected) << result.err;
        EXPECT_TRUE(fs::is_regular_file(root() / "out/linked.html"));
        EXPECT_TRUE(fs::is_regular_file(root() / "out/target.html"));
        EXPECT_TRUE(fs::is_regular_file(root() / "out/good.html"));
        for (const auto* page : {"fifo.html", "zero.html", "via-link.html"}) {
            EXPECT_FALSE(fs::exists(root() / "out" / page)) << page;
        }
        // The renderer would wait on the FIFO or read /dev/zero for ever.
        for (const auto& call : renderer_calls()) {
            for (const auto& arg : call) {
                EXPECT_EQ(arg.find("fifo"), std::string::npos) << arg;
                EXPECT_EQ(arg.find("zero"), std::string::npos) << arg;
            }
        }
    }
    EXPECT_TRUE(fs::is_fifo(root() / "in/fifo.md"));
    EXPECT_TRUE(fs::is_symlink(root() / "in/zero.md"));
}

TEST_F(ChartdocCommand, RendererFailuresAreLoggedWithTheCommandAndSkipped) {
    install_standin();
    write_file(root() / "in/a.md", "# A\n");
    write_file(root() / "in/bad.mmd", "graph TD\n");
    write_file(root() / "in/good.mmd", "graph TD\n");
    write_config({{"input_folder", "in"}, {"output_folder", "out"}});
    const auto result = run_site({{"STANDIN_FAIL_ON", "bad"}});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(
        log_messages(result.err, "ERROR"),
        std::vector<std::string>{
            "Failed to convert bad.mmd: mmdc -i in/bad.mmd -o out/bad.svg exited with status 3"});
    const auto index = read_file(root() / "out/index.html");
    EXPECT_NE(index.find("a.html"), std::string::npos);
    EXPECT_NE(index.find("<h3>Flow Charts</h3><ul><li><a href=\"good.html\"><span "
                         "class=\"icon\">\U0001F4CA</span> good</a></li></ul>\n"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(root() / "out/bad.html"));
}

TEST_F(ChartdocCommand, RendererEndedBySignalOrUnstartableIsSkipped) {
    write_file(root() / "in/k.mmd", "graph TD\n");
    write_file(root() / "in/a.md", "# A\n");
    write_config({{"input_folder", "in"}, {"output_folder", "out"}});
    write_script(bin() / "mmdc", "#!/bin/sh\nkill -9 $$\n");
    auto result = run_site();
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(log_messages(result.err, "ERROR"),
              std::vector<std::string>{"Failed to convert k.mmd: mmdc -i in/k.mmd -o out/k.svg "
                                       "was ended by signal 9 (Killed)"});

    // Executable but not a program: the check finds it, starting it fails.
    write_script(bin() / "mmdc", "no interpreter line\n");
    result = run_site();
    EXPECT_EQ(result.status, 0) << result.err;
    const auto errors = log_messages(result.err, "ERROR");
    ASSERT_EQ(errors.size(), 1u) << result.err;
    EXPECT_EQ(
        errors[0].rfind("Failed to convert k.mmd: cannot start mmdc -i in/k.mmd -o out/k.svg: ", 0),
        0u)
        << errors[0];
    EXPECT_EQ(result.out,
              report("DONE", "Successfully generated documentation in: out/index.html"));
}

TEST_F(ChartdocCommand, FailuresAfterTheRendererSucceededEndTheRun) {
    write_file(root() / "in/d.mmd", "graph TD\n");
    write_config({{"input_folder", "in"}, {"output_folder", "out"}});

    write_script(bin() / "mmdc", "#!/bin/sh\nexit 0\n");  // claims success, writes nothing
    auto result = run_site();
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, report("ERROR", "cannot read 'out/d.svg': No such file or directory"));

    write_script(bin() / "mmdc", "#!/bin/sh\nprintf '<svg>\\377</svg>' > \"$4\"\n");
    result = run_site();
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out.rfind("\n[ERROR] 'out/d.svg' is not UTF-8 text", 0), 0u) << result.out;

    install_standin();
    fs::create_directories(root() / "out/d.html");
    result = run_site();
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out.rfind("\n[ERROR] cannot write 'out/d.html': ", 0), 0u) << result.out;
    EXPECT_FALSE(fs::exists(root() / "out/index.html"));
}

TEST_F(ChartdocCommand, IndexThatCannotBeWrittenIsAnError) {
    install_standin();
    write_file(root() / "in/a.md", "# A\n");
    fs::create_directories(root() / "out/index.html");
    write_config({{"input_folder", "in"}, {"output_folder", "out"}});
    const auto result = run_site();
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out.rfind("\n[ERROR] cannot write 'out/index.html': ", 0), 0u) << result.out;
    EXPECT_TRUE(fs::exists(root() / "out/a.html"));
}

TEST_F(ChartdocCommand, TitleMapThatIsNotAnObjectEndsTheRun) {
    install_standin();
    write_file(root() / "in/a.md", "# A\n");
    write_config({{"input_folder", "in"},
                  {"output_folder", "out"},
                  {"doc_titles", ordered_json::array({"a.md"})}});
    const auto result = run_site();
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, report("ERROR",
                                 "'doc_titles' in the \"config\" section must be an object "
                                 "mapping file names to titles, not an array"));
    EXPECT_FALSE(fs::exists(root() / "out/a.html"));
}

TEST_F(ChartdocCommand, SourcesNamedIndexWouldReplaceTheIndexAndAreSkipped) {
    install_standin();
    write_file(root() / "in/index.md", "# My own index\n");
    write_file(root() / "in/index.mmd", "graph TD\n");
    write_file(root() / "in/other.md", "# Other\n");
    write_config({{"input_folder", "in"}, {"output_folder", "out"}});
    const auto result = run_site();
    EXPECT_EQ(result.status, 0) << result.err;
    const std::string clash =
        ": its page would be replaced by the site index 'out/index.html'; rename the file";
    EXPECT_EQ(log_messages(result.err, "ERROR"),
              (std::vector<std::string>{"Failed to process index.md" + clash,
                                        "Failed to convert index.mmd" + clash}));
    EXPECT_TRUE(renderer_calls().empty());
    const auto index = read_file(root() / "out/index.html");
    EXPECT_EQ(index.find("href=\"index.html\""), std::string::npos) << index;
    EXPECT_EQ(index.find("My own index"), std::string::npos);
    EXPECT_NE(index.find("other.html"), std::string::npos);
}
