#pragma once
// Renders a table of UTF-8 cells as aligned columns for a terminal.
#include <string>
#include <vector>

class TableView {
public:
    void addRow(std::vector<std::string> cells) { rows_.push_back(std::move(cells)); }
    // When set, row 0 is a header and is followed by a rule line.
    void setHeader(bool on) { header_ = on; }
    std::string render() const;

    // Columns a UTF-8 text takes on a terminal: East Asian wide and full-width characters count
    // two, combining marks none, everything else one.
    static int displayWidth(const std::string& utf8);
    // Line breaks and other control characters made visible, so that one cell stays on one line.
    static std::string printable(const std::string& utf8);

private:
    std::vector<std::vector<std::string>> rows_;
    bool header_ = false;
};
