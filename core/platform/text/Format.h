#pragma once
// Messages with placeholders: the texts of every catalogue say "%s" where a name, a file or
// a number goes.
#include <initializer_list>
#include <string>
#include <string_view>

namespace vedris::text {

// Puts the arguments in place of the "%s" placeholders of message, in order. A placeholder
// left without an argument becomes empty; an argument is never searched for placeholders.
inline std::string format(std::string_view message, std::initializer_list<std::string_view> args) {
    std::string out;
    auto next = args.begin();
    std::size_t start = 0;
    for (std::size_t at; (at = message.find("%s", start)) != std::string_view::npos;
         start = at + 2) {
        out.append(message, start, at - start);
        if (next != args.end())
            out.append(*next++);
    }
    return out.append(message, start);
}

} // namespace vedris::text
