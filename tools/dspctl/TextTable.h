// Rows of a label and cells, printed with the label column left-aligned and
// every cell column right-aligned to its widest entry. An absent cell prints
// as "-".
// Not thread-safe.
#ifndef TOOLS_DSPCTL_TEXT_TABLE_H
#define TOOLS_DSPCTL_TEXT_TABLE_H

#include <string>
#include <vector>

class TextTable {
public:
    // A header row: label and column titles.
    explicit TextTable(std::vector<std::string> header);

    // `cells` may be shorter than the header; missing ones print as "-".
    void addRow(std::string label, std::vector<std::string> cells);

    // Every row, header first, each ending in a newline.
    std::string render() const;

private:
    std::vector<std::vector<std::string>> mRows;  // label first
};

#endif  // TOOLS_DSPCTL_TEXT_TABLE_H
