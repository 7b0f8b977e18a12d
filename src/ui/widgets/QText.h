// The program's texts (UTF-8 in std::string) as the widgets take them.
#pragma once

#include <QString>
#include <string_view>

namespace quellmarin::ui {

inline QString Q(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

} // namespace quellmarin::ui
