#include "CommandLine.h"

namespace {
bool takesValue(const std::string& opt) {
    return opt == "--charset" || opt == "--from" || opt == "--to" || opt == "-o" ||
           opt == "--output" || opt == "--delimiter" || opt == "--log";
}
} // namespace

CommandLine CommandLine::parse(int argc, char** argv) {
    CommandLine cl;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (!optionsEnded && a == "--") {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && a.size() > 1 && a[0] == '-') {
            std::string value;
            std::string opt = a;
            size_t eq = a.find('=');
            if (a.compare(0, 2, "--") == 0 && eq != std::string::npos) {
                opt = a.substr(0, eq);
                value = a.substr(eq + 1);
            } else if (takesValue(a)) {
                if (i + 1 >= argc) {
                    cl.error = "option " + a + " needs a value";
                    return cl;
                }
                value = argv[++i];
            }
            if (opt == "--help" || opt == "-h")
                cl.help = true;
            else if (opt == "--header")
                cl.header = true;
            else if (opt == "--lf")
                cl.lf = true;
            else if (opt == "--json")
                cl.json = true;
            else if (opt == "--charset")
                cl.charset = value;
            else if (opt == "--from")
                cl.from = value;
            else if (opt == "--to")
                cl.to = value;
            else if (opt == "-o" || opt == "--output")
                cl.output = value;
            else if (opt == "--delimiter")
                cl.delimiter = value;
            else if (opt == "--log")
                cl.log = value;
            else {
                cl.error = "unknown option " + a;
                return cl;
            }
            continue;
        }
        if (cl.command.empty())
            cl.command = a;
        else
            cl.positional.push_back(a);
    }
    if (!cl.log.empty() && cl.log != "text" && cl.log != "xml" && cl.log != "html")
        cl.error = "--log takes text, xml or html";
    if (cl.delimiter == "tab" || cl.delimiter == "\\t") cl.delimiter = "\t";
    if (!cl.delimiter.empty() && cl.delimiter.size() != 1)
        cl.error = "--delimiter takes one character";
    return cl;
}
