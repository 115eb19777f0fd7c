#pragma once

// The program's path type: wide text, as Windows takes it. It keeps the spelling it is given and only
// joins and splits at separators, so it never needs the locale machinery of the standard path type.

#include <concepts>
#include <string>
#include <string_view>
#include <utility>

namespace ardenwick {

class WidePath;

/// A path type of a library that converts to and from wide text, such as the standard one that tools
/// and tests use: such paths pass for ours and ours for them.
template <typename Path>
concept ForeignWidePath = !std::same_as<Path, WidePath> &&
                          std::constructible_from<Path, const std::wstring&> && requires(const Path& path) {
    { path.wstring() } -> std::convertible_to<std::wstring>;
};

class WidePath {
public:
#ifdef _WIN32
    static constexpr wchar_t Separator = L'\\';
#else
    static constexpr wchar_t Separator = L'/';
#endif

    WidePath() = default;
    WidePath(std::wstring text) : text_(std::move(text)) {}
    WidePath(const wchar_t* text) : text_(text) {}
    WidePath(std::wstring_view text) : text_(text) {}
    template <ForeignWidePath Path> WidePath(const Path& path) : text_(path.wstring()) {}
    template <ForeignWidePath Path> operator Path() const {
        return Path(text_);
    }

    [[nodiscard]] const std::wstring& native() const noexcept {
        return text_;
    }
    [[nodiscard]] const std::wstring& wstring() const noexcept {
        return text_;
    }
    [[nodiscard]] const wchar_t* c_str() const noexcept {
        return text_.c_str();
    }
    [[nodiscard]] bool empty() const noexcept {
        return text_.empty();
    }
    /// The text as UTF-16, for libraries that take it (SQLite); the same text on Windows.
    [[nodiscard]] std::u16string u16string() const;
    /// The path as UTF-8 (a lone surrogate is encoded as it stands).
    [[nodiscard]] std::string u8string() const;

    /// Everything before the last separator, without trailing separators unless that is the root
    /// ("C:\", "\", "/"); empty when there is no separator.
    [[nodiscard]] WidePath parent_path() const;
    /// The text after the last separator (or after a drive's colon).
    [[nodiscard]] std::wstring filename() const;

    /// Appends one component with one separator between.
    WidePath& operator/=(std::wstring_view component);
    friend WidePath operator/(WidePath path, std::wstring_view component) {
        return path /= component;
    }

    friend bool operator==(const WidePath&, const WidePath&) = default;
    template <ForeignWidePath Path> friend bool operator==(const WidePath& first, const Path& second) {
        return first.text_ == WidePath(second).text_;
    }

    [[nodiscard]] static bool isSeparator(wchar_t c) noexcept {
        return c == L'\\' || c == L'/';
    }

private:
    std::wstring text_;
};

} // namespace ardenwick
