#pragma once
// The "Statistics Listing" window's decisions without its widgets: the statistics columns and
// column width, reading the width edit, rebuilding the text and saving it; and the program's
// natural-order comparison of names.

#include <cstdint>
#include <functional>
#include <string>

namespace zun {

class Prompt;

// -1, 0 or 1; digit runs compare as numbers (a run with a leading zero as fractional digits),
// whitespace is skipped, case counts.
int NaturalCompare(const std::string& a, const std::string& b);

namespace statsmsg {
inline constexpr const char* kColumnWidth = "Column width must be a positive integer";
}

class StatsListingModel {
public:
    enum Column : std::int32_t { kMin = 1, kMax = 2, kAverage = 4, kStdev = 8, kCount = 16 };
    // A width far beyond any screen would only allocate.
    static constexpr int kMaxWidth = 1000;

    // Writes the header and the rows of the items for the columns and width.
    using Writer = std::function<std::string(std::int32_t columns, int width)>;

    StatsListingModel(Writer writer, Prompt* prompt) : writer_(std::move(writer)), prompt_(prompt) {}

    std::string caption = "Statistics Listing";
    std::int32_t columns = 0;
    int width = 15;

    const std::string& Text() const { return text_; }
    void RefreshListing() { text_ = writer_ ? writer_(columns, width) : std::string(); }

    // A whole number 1..kMaxWidth read with "%f"; false otherwise.
    static bool ReadWidth(const std::string& text, int* width);
    // "Refresh": the width and the columns from the checks; false (message shown, nothing
    // changed) for a bad width.
    bool Refresh(const std::string& widthText, std::int32_t newColumns);
    // The text without carriage returns to the file; false with the message shown.
    bool Save(const std::string& path) const;

private:
    Writer writer_;
    Prompt* prompt_;
    std::string text_;
};

}  // namespace zun
