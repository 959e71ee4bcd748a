#pragma once
// Parsed command line of the qxcsv tool.
#include <string>
#include <vector>

struct CommandLine {
    std::string command;                 // show, get, set, convert, charsets, help
    std::vector<std::string> positional; // arguments after the command
    std::string charset = "utf-8";       // --charset: charset of files read (and of set's output)
    std::string from;                    // --from (convert)
    std::string to;                      // --to (convert)
    std::string output;                  // -o (set)
    std::string delimiter;               // --delimiter, applied after the load
    std::string log;                     // --log text|xml|html
    bool header = false;                 // --header
    bool lf = false;                     // --lf: write LF line ends instead of CR LF
    bool json = false;                   // --json (charsets)
    bool help = false;
    std::string error; // set when the command line is unusable

    static CommandLine parse(int argc, char** argv);
};
