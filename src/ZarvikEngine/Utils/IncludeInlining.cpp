#include "ZarvikEngine/Utils/IncludeInlining.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>

#include <fmt/format.h>

#include "ZarvikEngine/Debug.h"
#include "ZarvikEngine/Path.h"
#include "ZarvikEngine/Resource.h"
#include "ZarvikEngine/Utils/Token.h"

namespace ZarvikEngine::Utils {

namespace {

using Kind = Token::Kind;

constexpr std::string_view ResourcePrefix = "resource:";

/* Each line with its line break */
template<class Function>
void forEachLine(std::string_view text, Function&& function) {
    for (std::size_t begin = 0; begin < text.size();) {
        const std::size_t lineBreak = text.find('\n', begin);
        const std::size_t end = lineBreak == std::string_view::npos ? text.size() : lineBreak + 1;
        function(text.substr(begin, end - begin));
        begin = end;
    }
}

std::string_view trim(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

/* Contents of a file, empty when it can't be read */
std::string readFile(const std::filesystem::path& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return {};
    std::ifstream file{path, std::ios::binary};
    std::ostringstream contents;
    contents << file.rdbuf();
    return file ? contents.str() : std::string{};
}

/* Where the include of one include line ends up, or the error it gives */
struct IncludeLine {
    std::string_view path;
    /* After the closing quote, line break included */
    std::string_view rest;
};

Result<IncludeLine> parseIncludeLine(std::string_view line, std::size_t include,
                                     const IncludeTable& table) {
    std::string_view rest = line.substr(include + std::string_view{"#include"}.size());
    rest.remove_prefix(std::min(rest.find_first_not_of(" \t"), rest.size()));
    if (!rest.starts_with('"'))
        return Result<IncludeLine>::failure("Expected path string after #include");
    const std::size_t close = rest.find_first_of("\"\n", 1);
    if (close == std::string_view::npos || rest[close] != '"')
        return Result<IncludeLine>::failure("Unterminated string after #include");
    const std::string_view path = rest.substr(1, close - 1);
    if (!Path::isRelative(path))
        return Result<IncludeLine>::failure(fmt::format("Absolute path in #include: {}", path));
    if (!table.contains(path))
        return Result<IncludeLine>::failure(fmt::format("Could not find included file: {}", path));
    return IncludeLine{path, rest.substr(close + 1)};
}

} // namespace

Result<std::vector<std::string>> getIncludesList(std::string_view source) {
    using Paths = Result<std::vector<std::string>>;
    std::vector<std::string> paths;
    for (Token token = scanToken(source); token.kind != Kind::End; token = token.next()) {
        if (token.kind != Kind::Hash)
            continue;
        const Token name = token.next();
        if (name.kind != Kind::Identifier || name.text() != "include")
            continue;
        const Token open = name.next();
        if (open.kind != Kind::Quote)
            return Paths::failure("Missing opening double quote after #include");
        Token close = open.next(false);
        for (; close.kind != Kind::Quote; close = close.next(false))
            if (close.kind == Kind::LineBreak || close.kind == Kind::End)
                return Paths::failure("Missing closing double quote after #include");
        paths.emplace_back(open.end(), close.begin);
        token = close;
    }
    return paths;
}

std::string inlineIncludes(std::span<const std::string_view> locations, std::string_view source,
                           bool lineDirectives) {
    const Result<std::vector<std::string>> paths = getIncludesList(source);
    if (!paths) {
        Error{} << "Failed to inline includes:" << paths.error();
        return std::string{source};
    }

    std::vector<std::optional<Resource>> groups;
    for (std::string_view location : locations) {
        std::optional<Resource>& group = groups.emplace_back();
        if (!location.starts_with(ResourcePrefix))
            continue;
        const std::string_view name = location.substr(ResourcePrefix.size());
        if (Resource::hasGroup(name))
            group.emplace(name);
        else
            Warning{} << "Including from unknown resource group" << name;
    }

    /* Files read from disk, for the table's views */
    std::vector<std::unique_ptr<const std::string>> files;
    IncludeTable table;
    for (const std::string& path : *paths) {
        if (table.contains(path))
            continue;
        for (std::size_t i = 0; i != locations.size(); ++i) {
            std::string_view contents;
            if (groups[i]) {
                if (groups[i]->contains(path))
                    contents = groups[i]->getString(path);
            } else if (!locations[i].starts_with(ResourcePrefix)) {
                files.push_back(std::make_unique<const std::string>(
                    readFile(std::filesystem::path{locations[i]} / path)));
                contents = *files.back();
            }
            if (!contents.empty()) {
                table.emplace(path, contents);
                break;
            }
        }
    }
    return inlineIncludes(source, table, lineDirectives);
}

std::string inlineIncludes(std::string_view source, const IncludeTable& table,
                           bool lineDirectives) {
    std::string out;
    out.reserve(source.size());
    std::optional<std::string> error;
    bool inComment = false;
    std::size_t lineNumber = 0;
    forEachLine(source, [&](std::string_view line) {
        ++lineNumber;
        if (error)
            return;
        const std::size_t include = line.find("#include");
        /* Whether the include is inside a block comment, and whether one is open at the end
           of the line */
        bool includeCommented = inComment;
        for (std::size_t position = 0;;) {
            const std::size_t next = line.find(inComment ? "*/" : "/*", position);
            if (include != std::string_view::npos && include >= position && include < next)
                includeCommented = inComment;
            if (next == std::string_view::npos)
                break;
            inComment = !inComment;
            position = next + 2;
        }
        const std::size_t firstText = line.find_first_not_of(" \t");
        if (include == std::string_view::npos || includeCommented ||
            line.substr(firstText).starts_with("//")) {
            out += line;
            return;
        }
        if (include != firstText) {
            Warning{} << "#include preceded by non whitespace character are ignored";
            out += line;
            return;
        }
        const Result<IncludeLine> parsed = parseIncludeLine(line, include, table);
        if (!parsed) {
            error = parsed.error();
            return;
        }
        const std::string_view contents = table.find(parsed->path)->second;
        if (lineDirectives)
            out += "#line 1\n";
        out += contents;
        /* So that the directive after it starts a line of its own */
        if (!contents.ends_with('\n'))
            out += '\n';
        if (lineDirectives)
            out += fmt::format("#line {}\n", lineNumber);
        out += parsed->rest;
    });
    if (error) {
        Error{} << *error;
        return std::string{source};
    }
    return out;
}

std::string
replaceTagsShader(std::string_view source,
                  std::initializer_list<std::pair<std::string_view, std::string_view>> tags,
                  bool lineDirectives) {
    std::size_t size = source.size();
    for (const auto& tag : tags)
        size += tag.second.size();
    std::string out;
    out.reserve(size);
    long long lineNumber = 0;
    forEachLine(source, [&](std::string_view line) {
        ++lineNumber;
        const std::size_t directive = line.find("#line ");
        if (lineDirectives && directive != std::string_view::npos) {
            const std::string_view digits = line.substr(directive + 6);
            long long value;
            const auto [end, error] =
                std::from_chars(digits.data(), digits.data() + digits.size(), value);
            if (error == std::errc{} && end != digits.data() && digits.front() != '-')
                lineNumber = value - 1;
        }
        const std::size_t open = line.find("{{");
        const std::size_t close = open == std::string_view::npos ? open : line.find("}}", open + 2);
        if (close != std::string_view::npos) {
            const std::string_view name = trim(line.substr(open + 2, close - open - 2));
            for (const auto& [tag, value] : tags) {
                if (tag != name)
                    continue;
                out += line.substr(0, open);
                out += value;
                if (lineDirectives)
                    out += fmt::format("#line {}", lineNumber);
                out += line.substr(close + 2);
                return;
            }
        }
        out += line;
    });
    return out;
}

} // namespace ZarvikEngine::Utils
