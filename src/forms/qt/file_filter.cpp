#include "file_filter.h"

namespace forms::qt {

namespace {

std::vector<std::string_view> split_bars(std::string_view text)
{
    std::vector<std::string_view> parts;
    while (true) {
        auto bar = text.find('|');
        parts.push_back(text.substr(0, bar));
        if (bar == std::string_view::npos)
            break;
        text.remove_prefix(bar + 1);
    }
    return parts;
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}

std::string space_separated(std::string_view patterns)
{
    std::string list;
    while (!patterns.empty()) {
        auto semicolon = patterns.find(';');
        auto one = trimmed(patterns.substr(0, semicolon));
        if (!one.empty()) {
            if (!list.empty())
                list += ' ';
            list += one;
        }
        if (semicolon == std::string_view::npos)
            break;
        patterns.remove_prefix(semicolon + 1);
    }
    return list.empty() ? std::string("*") : list;
}

}

std::vector<std::string> dialog_name_filters(std::string_view filter)
{
    std::vector<std::string> filters;
    if (filter.empty())
        return filters;
    auto parts = split_bars(filter);
    // A description left without a pattern names nothing the dialog could match.
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        std::string_view description = trimmed(parts[i]);
        std::string_view pattern = trimmed(parts[i + 1]);
        std::string patterns = space_separated(pattern);
        std::string shown_as = "(" + std::string(pattern) + ")";
        if (!pattern.empty() && description.size() >= shown_as.size()
            && description.substr(description.size() - shown_as.size()) == shown_as) {
            description.remove_suffix(shown_as.size());
            std::string kept(trimmed(description));
            filters.push_back(kept.empty() ? "(" + patterns + ")" : kept + " (" + patterns + ")");
        } else if (description.empty()) {
            filters.push_back("(" + patterns + ")");
        } else {
            filters.push_back(std::string(description) + " (" + patterns + ")");
        }
    }
    return filters;
}

std::string dialog_default_suffix(std::string_view extension)
{
    while (!extension.empty() && extension.front() == '.')
        extension.remove_prefix(1);
    return std::string(extension);
}

}
