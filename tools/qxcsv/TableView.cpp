#include "TableView.h"

#include <algorithm>

namespace {
// Decodes one UTF-8 sequence at s[i]; returns the code point and advances i (by 1 on bad input).
unsigned nextCodePoint(const std::string& s, size_t& i) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    int extra = b < 0x80 ? 0 : b < 0xC2 ? -1 : b < 0xE0 ? 1 : b < 0xF0 ? 2 : b < 0xF5 ? 3 : -1;
    if (extra < 0 || i + extra >= s.size()) {
        ++i;
        return 0xFFFD;
    }
    unsigned cp = extra == 0 ? b : (b & (0x3F >> extra));
    for (int k = 1; k <= extra; ++k) {
        unsigned char c = static_cast<unsigned char>(s[i + k]);
        if ((c & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        cp = (cp << 6) | (c & 0x3F);
    }
    i += extra + 1;
    return cp;
}

bool isWide(unsigned cp) {
    return (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0x303E) ||
           (cp >= 0x3041 && cp <= 0x33FF) || (cp >= 0x3400 && cp <= 0x4DBF) ||
           (cp >= 0x4E00 && cp <= 0x9FFF) || (cp >= 0xA000 && cp <= 0xA4CF) ||
           (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
           (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
           (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x1F300 && cp <= 0x1FAFF) ||
           (cp >= 0x20000 && cp <= 0x3FFFD);
}

bool isCombining(unsigned cp) {
    return (cp >= 0x0300 && cp <= 0x036F) || (cp >= 0x3099 && cp <= 0x309A) ||
           (cp >= 0xFE20 && cp <= 0xFE2F) || cp == 0x200B || cp == 0xFEFF;
}
} // namespace

int TableView::displayWidth(const std::string& utf8) {
    int width = 0;
    for (size_t i = 0; i < utf8.size();) {
        unsigned cp = nextCodePoint(utf8, i);
        if (isCombining(cp)) continue;
        width += isWide(cp) ? 2 : 1;
    }
    return width;
}

std::string TableView::printable(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (char c : utf8) {
        switch (c) {
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20)
                out += '?';
            else
                out += c;
        }
    }
    return out;
}

std::string TableView::render() const {
    std::vector<int> widths;
    std::vector<std::vector<std::string>> shown;
    for (const auto& row : rows_) {
        std::vector<std::string> cells;
        for (size_t c = 0; c < row.size(); ++c) {
            cells.push_back(printable(row[c]));
            if (widths.size() <= c) widths.resize(c + 1, 0);
            widths[c] = std::max(widths[c], displayWidth(cells.back()));
        }
        shown.push_back(std::move(cells));
    }
    std::string out;
    for (size_t r = 0; r < shown.size(); ++r) {
        const auto& cells = shown[r];
        std::string line;
        for (size_t c = 0; c < cells.size(); ++c) {
            if (c) line += "  ";
            line += cells[c];
            if (c + 1 < cells.size()) line.append(widths[c] - displayWidth(cells[c]), ' ');
        }
        out += line;
        out += '\n';
        if (r == 0 && header_) {
            std::string rule;
            for (size_t c = 0; c < widths.size(); ++c) {
                if (c) rule += "  ";
                rule.append(std::max(widths[c], 1), '-');
            }
            out += rule;
            out += '\n';
        }
    }
    return out;
}
