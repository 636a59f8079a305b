#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>

#include "helmkit/text/terminal_text.hpp"
#include "torvane/command_frame.hpp"
#include "torvane/front.hpp"

namespace torvane::front {

namespace {

constexpr std::string_view k_help_option_text = "Show this message and exit.";
constexpr std::string_view k_manual_pointer =
    "See 'man torvane' for the configuration keys and their defaults.";

// The first line of a command's help that is text, for the command list.
std::string summary_of(const std::string& help) {
    std::size_t start = 0;
    while (start < help.size()) {
        auto end = help.find('\n', start);
        if (end == std::string::npos) end = help.size();
        std::string line = help.substr(start, end - start);
        if (!line.empty() && line != "\b") return line;
        start = end + 1;
    }
    return {};
}

std::string command_list(const std::vector<CommandEntry>& commands) {
    std::size_t width = 0;
    for (const auto& command : commands) width = std::max(width, command.name.size());
    std::string out = "Commands:\n";
    for (const auto& command : commands) {
        out += "  " + command.name + std::string(width - command.name.size() + 2, ' ') +
               summary_of(command.help) + "\n";
    }
    return out;
}

std::string top_level_help(const std::vector<CommandEntry>& commands) {
    return "Usage: torvane <command> [OPTIONS]\n\n"
           "A toolbox for laboratory and office chores.\n\n" +
           command_list(commands) +
           "\nOptions:\n"
           "  -h, --help  " + std::string(k_help_option_text) + "\n"
           "  --version   Show the version and exit.\n"
           "\nRun 'torvane <command> --help' for the options of a command.\n";
}

std::string command_help(const CommandEntry& entry) {
    std::string out = "Usage: torvane " + entry.name + " [OPTIONS]\n";
    const std::string text = layout_help_text(entry.help, terminal_width());
    if (text.empty() || text.front() != '\n') out += "\n";
    out += text;
    if (out.size() < 2 || out.compare(out.size() - 2, 2, "\n\n") != 0) out += "\n";
    out += "Options:\n";
    out += "  -c, --config PATH  " + entry.config_help + "\n";
    out += "  --generate-config  " + entry.generate_config_help + "\n";
    out += "  -h, --help         " + std::string(k_help_option_text) + "\n";
    out += "\n" + std::string(k_manual_pointer) + "\n";
    return out;
}

class HelpFormatter : public CLI::Formatter {
public:
    explicit HelpFormatter(const std::vector<CommandEntry>& commands) : m_commands(commands) {}

    std::string make_help(const CLI::App* app, std::string, CLI::AppFormatMode) const override {
        if (app->get_parent() != nullptr) {
            for (const auto& entry : m_commands) {
                if (entry.name == app->get_name()) return command_help(entry);
            }
        }
        return top_level_help(m_commands);
    }

private:
    const std::vector<CommandEntry>& m_commands;
};

bool is_known(const std::vector<CommandEntry>& commands, std::string_view name) {
    for (const auto& command : commands) {
        if (command.name == name) return true;
    }
    return false;
}

int usage_error(const std::string& message, const std::string& hint) {
    std::cout.flush();
    std::cerr << "Usage error: " << message << "\n" << hint;
    return 2;
}

int dispatch(int argc, char** argv, const std::vector<CommandEntry>& commands) {
    if (argc < 2) {
        std::cerr << top_level_help(commands);
        return 2;
    }
    const std::string_view first = argv[1];
    if (first == "--version") {
        std::cout << "torvane " << TORVANE_VERSION << "\n";
        return 0;
    }
    if (!first.starts_with("-") && !is_known(commands, first)) {
        return usage_error("unknown command '" + std::string(first) + "'",
                           command_list(commands));
    }

    CLI::App app("A toolbox for laboratory and office chores.", "torvane");
    app.formatter(std::make_shared<HelpFormatter>(commands));
    app.set_help_flag("-h,--help", std::string(k_help_option_text));
    app.require_subcommand(1);

    const CLI::Validator existing_path(
        [](std::string& value) -> std::string {
            std::error_code error;
            if (value.empty() || !std::filesystem::exists(std::filesystem::status(value, error))) {
                return "path does not exist: '" + value + "'";
            }
            return {};
        },
        "PATH");

    struct Parsed {
        std::string config;
        bool generate_config = false;
        CLI::Option* config_option = nullptr;
    };
    std::vector<Parsed> parsed(commands.size());
    std::vector<CLI::App*> subcommands;
    for (std::size_t i = 0; i < commands.size(); ++i) {
        auto* sub = app.add_subcommand(commands[i].name, summary_of(commands[i].help));
        sub->set_help_flag("-h,--help", std::string(k_help_option_text));
        parsed[i].config_option = sub->add_option("-c,--config", parsed[i].config,
                                                  commands[i].config_help)
                                      ->check(existing_path)
                                      ->option_text("PATH");
        sub->add_flag("--generate-config", parsed[i].generate_config,
                      commands[i].generate_config_help);
        subcommands.push_back(sub);
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help();
        return 0;
    } catch (const CLI::ParseError& error) {
        std::string hint = "Run 'torvane --help' for the list of commands.\n";
        for (std::size_t i = 0; i < commands.size(); ++i) {
            if (subcommands[i]->parsed()) {
                hint = "Run 'torvane " + commands[i].name + " --help' for its options.\n";
            }
        }
        return usage_error(error.what(), hint);
    }

    for (std::size_t i = 0; i < commands.size(); ++i) {
        if (!subcommands[i]->parsed()) continue;
        std::optional<std::string> config;
        if (parsed[i].config_option->count() > 0) config = parsed[i].config;
        if (commands[i].function) return commands[i].function(config, parsed[i].generate_config);
        return run_command_frame(commands[i], config, parsed[i].generate_config);
    }
    return 2;
}

}  // namespace

int run(int argc, char** argv, const std::vector<CommandEntry>& commands) {
    try {
        return dispatch(argc, argv, commands);
    } catch (const std::exception& error) {
        std::cout.flush();
        std::fflush(stdout);
        std::cerr << "Error: " << helmkit::terminal_safe(error.what()) << std::endl;
    } catch (...) {
        std::cout.flush();
        std::fflush(stdout);
        std::cerr << "Error: unexpected failure" << std::endl;
    }
    return 1;
}

}  // namespace torvane::front
