#include "TextTable.h"

#include <algorithm>
#include <utility>

TextTable::TextTable(std::vector<std::string> header) { mRows.push_back(std::move(header)); }

void TextTable::addRow(std::string label, std::vector<std::string> cells) {
    std::vector<std::string> row;
    row.push_back(std::move(label));
    for (std::string& cell : cells) {
        row.push_back(std::move(cell));
    }
    mRows.push_back(std::move(row));
}

std::string TextTable::render() const {
    const size_t columns = mRows.front().size();
    std::vector<size_t> widths(columns, 1);
    for (const auto& row : mRows) {
        for (size_t c = 0; c < columns; ++c) {
            widths[c] = std::max(widths[c], c < row.size() ? row[c].size() : 1);
        }
    }
    std::string out;
    for (const auto& row : mRows) {
        std::string line;
        for (size_t c = 0; c < columns; ++c) {
            const std::string& cell = c < row.size() ? row[c] : std::string("-");
            const std::string padding(widths[c] - std::min(widths[c], cell.size()), ' ');
            if (c == 0) {
                line += cell + padding;
            } else {
                line += "  " + padding + cell;
            }
        }
        while (!line.empty() && line.back() == ' ') {
            line.pop_back();
        }
        out += line + "\n";
    }
    return out;
}
