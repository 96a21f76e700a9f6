// Reads text line by line. Lines end with CR LF; a lone LF or CR also ends one, as the engine's
// text files may have passed through editors of either kind.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillon {

class TextLines {
  public:
    explicit TextLines(std::string_view data) : data_(data) {}

    bool atEnd() const { return pos_ >= data_.size(); }

    // The next line without its ending; nothing at the end of the data.
    std::optional<std::string> next() {
        if (atEnd()) return std::nullopt;
        size_t start = pos_;
        while (pos_ < data_.size() && data_[pos_] != '\r' && data_[pos_] != '\n')
            ++pos_;
        std::string line(data_.substr(start, pos_ - start));
        if (pos_ < data_.size() && data_[pos_] == '\r') ++pos_;
        if (pos_ < data_.size() && data_[pos_] == '\n') ++pos_;
        return line;
    }

  private:
    std::string_view data_;
    size_t pos_ = 0;
};

} // namespace quillon
