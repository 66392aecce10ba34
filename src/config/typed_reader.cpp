#include "config/typed_reader.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "common/text.hpp"
#include "config/config_schema.hpp"
#include "config/nesting_depth.hpp"

namespace vireo {

namespace {

using namespace schema;

template <class T>
using Result = std::expected<T, TomlError>;

// The value reader meets users' mistakes; the document reader only the compiled-in defaults.
// Their few differences are marked where they apply.
enum class Mode { Value, Document };

struct Reader {
    Mode mode;
    std::string_view text;  // the document, for the source line of a position

    std::optional<TomlError::Position> position_of(const toml::source_region& region) const {
        if (mode != Mode::Document || region.begin.line == 0) {
            return std::nullopt;
        }
        std::string_view rest = text;
        for (std::size_t line = 1; line < region.begin.line; ++line) {
            const auto newline = rest.find('\n');
            rest =
                newline == std::string_view::npos ? std::string_view{} : rest.substr(newline + 1);
        }
        std::string_view line = rest.substr(0, rest.find('\n'));
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        return TomlError::Position{region.begin.line, region.begin.column, std::string(line)};
    }

    std::unexpected<TomlError> fail(const toml::source_region& at, std::string message) const {
        return std::unexpected(TomlError{std::move(message), {}, position_of(at)});
    }
};

// "`a`", "`a` or `b`", "one of `a`, `b`, `c`".
std::string name_list(std::span<const std::string_view> names) {
    if (names.size() == 1) {
        return fmt::format("`{}`", names[0]);
    }
    if (names.size() == 2) {
        return fmt::format("`{}` or `{}`", names[0], names[1]);
    }
    std::string out = "one of ";
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) {
            out += ", ";
        }
        out += fmt::format("`{}`", names[i]);
    }
    return out;
}

// Shortest round-trip digits laid out without an exponent; finite values always show a
// decimal point (240.0, 0.0001, -0.0).
std::string float_text(double value) {
    if (std::isnan(value)) {
        return "NaN";
    }
    if (std::isinf(value)) {
        return value < 0 ? "-inf" : "inf";
    }
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    const std::string_view scientific(buffer, result.ptr);
    const auto e = scientific.find('e');
    std::string_view mantissa = scientific.substr(0, e);
    int exponent = 0;
    std::from_chars(scientific.data() + e + 1 + (scientific[e + 1] == '+'),
                    scientific.data() + scientific.size(), exponent);

    std::string out;
    if (mantissa.front() == '-') {
        out += '-';
        mantissa.remove_prefix(1);
    }
    std::string digits;
    for (char c : mantissa) {
        if (c != '.') {
            digits += c;
        }
    }
    const int point = exponent + 1;  // digits before the decimal point
    const int count = static_cast<int>(digits.size());
    if (point <= 0) {
        out += "0." + std::string(static_cast<std::size_t>(-point), '0') + digits;
    } else if (point >= count) {
        out += digits + std::string(static_cast<std::size_t>(point - count), '0') + ".0";
    } else {
        out += digits.substr(0, static_cast<std::size_t>(point)) + "." +
               digits.substr(static_cast<std::size_t>(point));
    }
    return out;
}

// A date, time or date-time as TOML writes it: 1979-05-27T07:32:00.999Z.
std::string date_text(const toml::date& d) {
    return fmt::format("{:04}-{:02}-{:02}", d.year, d.month, d.day);
}

std::string time_text(const toml::time& t) {
    std::string out = fmt::format("{:02}:{:02}:{:02}", t.hour, t.minute, t.second);
    if (t.nanosecond != 0) {
        std::string fraction = fmt::format("{:09}", t.nanosecond);
        fraction.erase(fraction.find_last_not_of('0') + 1);
        out += "." + fraction;
    }
    return out;
}

std::optional<std::string> datetime_text(const toml::node& node) {
    if (const auto* d = node.as_date()) {
        return date_text(d->get());
    }
    if (const auto* t = node.as_time()) {
        return time_text(t->get());
    }
    if (const auto* dt = node.as_date_time()) {
        const toml::date_time& v = dt->get();
        std::string out = date_text(v.date) + "T" + time_text(v.time);
        if (v.offset) {
            const int minutes = v.offset->minutes;
            if (minutes == 0) {
                out += "Z";
            } else {
                const int magnitude = std::abs(minutes);
                out += fmt::format("{}{:02}:{:02}", minutes < 0 ? '-' : '+', magnitude / 60,
                                   magnitude % 60);
            }
        }
        return out;
    }
    return std::nullopt;
}

// The given value as "invalid type" messages show it. A date-time reads as the string of its
// TOML text, as it does for text keys.
std::string unexpected_text(const toml::node& node) {
    if (const auto* v = node.as_integer()) {
        return fmt::format("integer `{}`", v->get());
    }
    if (const auto* v = node.as_floating_point()) {
        return fmt::format("floating point `{}`", float_text(v->get()));
    }
    if (const auto* v = node.as_boolean()) {
        return fmt::format("boolean `{}`", v->get());
    }
    if (const auto* v = node.as_string()) {
        return "string " + vireo::quoted(v->get());
    }
    if (const auto text = datetime_text(node)) {
        return "string " + vireo::quoted(*text);
    }
    if (node.is_array()) {
        return "sequence";
    }
    return "map";
}

std::string_view type_name(const toml::node& node) {
    switch (node.type()) {
        case toml::node_type::string:
            return "string";
        case toml::node_type::integer:
            return "integer";
        case toml::node_type::floating_point:
            return "float";
        case toml::node_type::boolean:
            return "boolean";
        case toml::node_type::array:
            return "array";
        case toml::node_type::table:
            return "table";
        default:
            return "datetime";
    }
}

std::unexpected<TomlError> invalid_type(const Reader& reader, const toml::node& node,
                                        std::string_view expected) {
    return reader.fail(node.source(), fmt::format("invalid type: {}, expected {}",
                                                  unexpected_text(node), expected));
}

// A failure below a table entry: the key goes in front of the path, and a document error
// without a position takes the entry's.
TomlError at_key(const Reader& reader, TomlError error, const toml::key& key,
                 const toml::node& value) {
    error.key_path.insert(error.key_path.begin(), std::string(key.str()));
    if (!error.position) {
        error.position = reader.position_of(value.source());
        if (!error.position) {
            error.position = reader.position_of(key.source());
        }
    }
    return error;
}

struct Entry {
    const toml::key* key;
    const toml::node* value;
};

// The value reader takes entries in ascending byte order of their keys, the document reader in
// the order they stand in the text.
std::vector<Entry> ordered_entries(const Reader& reader, const toml::table& table) {
    std::vector<Entry> entries;
    entries.reserve(table.size());
    for (const auto& [key, value] : table) {
        entries.push_back({&key, &value});
    }
    if (reader.mode == Mode::Value) {
        std::ranges::sort(entries, [](const Entry& a, const Entry& b) {
            return a.key->str() < b.key->str();  // char_traits<char> compares as unsigned bytes
        });
    } else {
        std::ranges::sort(entries, [](const Entry& a, const Entry& b) {
            const auto& pa = a.key->source().begin;
            const auto& pb = b.key->source().begin;
            return std::pair(pa.line, pa.column) < std::pair(pb.line, pb.column);
        });
    }
    return entries;
}

template <class Kind>
Result<typename Kind::type> read_kind(const Reader& reader, const toml::node& node,
                                      bool validate_keys);

template <class Enum>
Result<Enum> read_variant_name(const Reader& reader, std::string_view name,
                               const toml::source_region& at) {
    constexpr auto description = describe(std::type_identity<Enum>{});
    for (const auto& [value_name, value] : description.values) {
        if (value_name == name) {
            return value;
        }
    }
    constexpr auto names = description.names();
    return reader.fail(at,
                       fmt::format("unknown variant `{}`, expected {}", name, name_list(names)));
}

template <class Enum>
Result<Enum> read_enumeration(const Reader& reader, const toml::node& node) {
    if (const auto* s = node.as_string()) {
        return read_variant_name<Enum>(reader, s->get(), node.source());
    }
    const auto* table = node.as_table();
    if (table == nullptr) {
        if (reader.mode == Mode::Document) {
            return reader.fail(node.source(), "wanted string or table");
        }
        return reader.fail(node.source(), "invalid type: unit variant, expected string only");
    }
    if (table->empty()) {
        return reader.fail(node.source(), "wanted exactly 1 element, found 0 elements");
    }
    if (table->size() > 1) {
        return reader.fail(node.source(), "wanted exactly 1 element, more than 1 element");
    }
    const auto entry = table->begin();  // the entry's references live in the table, not here
    const toml::key& key = entry->first;
    const toml::node& value = entry->second;
    auto result = read_variant_name<Enum>(reader, key.str(), key.source());
    if (!result) {
        return result;
    }
    if (const auto* array = value.as_array()) {
        if (!array->empty()) {
            return reader.fail(value.source(), "expected empty array");
        }
    } else if (const auto* inner = value.as_table()) {
        if (!inner->empty()) {
            return reader.fail(value.source(), "expected empty table");
        }
    } else {
        return reader.fail(value.source(),
                           fmt::format("expected table, found {}", type_name(value)));
    }
    return result;
}

// Reads the value of key `index` of the description into its member of `out`.
template <class Description>
std::optional<TomlError> read_key_at(const Reader& reader, const Description& description,
                                     std::size_t index, typename Description::record& out,
                                     const toml::node& value, bool validate_keys) {
    std::optional<TomlError> error;
    for_each_key(description, [&](std::size_t i, const auto& key) {
        if (i != index) {
            return;
        }
        using Kind = typename std::remove_cvref_t<decltype(key)>::kind;
        auto result = read_kind<Kind>(reader, value, validate_keys);
        if (result) {
            out.*key.member = std::move(*result);
        } else {
            error = std::move(result.error());
        }
    });
    return error;
}

template <class Record>
Result<Record> read_table_form(const Reader& reader, const toml::table& table, bool validate_keys) {
    constexpr auto description = describe(std::type_identity<Record>{});
    constexpr auto names = description.key_names();
    const auto entries = ordered_entries(reader, table);
    const auto index_of = [&](std::string_view name) {
        return static_cast<std::size_t>(std::ranges::find(names, name) - names.begin());
    };

    if (reader.mode == Mode::Document && validate_keys) {
        std::vector<std::string_view> unexpected;
        const toml::key* first = nullptr;
        for (const Entry& entry : entries) {
            if (index_of(entry.key->str()) == names.size()) {
                unexpected.push_back(entry.key->str());
                first = first != nullptr ? first : entry.key;
            }
        }
        if (first != nullptr) {
            return reader.fail(first->source(),
                               fmt::format("unexpected keys in table: {}, available keys: {}",
                                           fmt::join(unexpected, ", "), fmt::join(names, ", ")));
        }
    }

    Record out{};
    std::array<bool, description.size> met{};
    for (const Entry& entry : entries) {
        const std::size_t index = index_of(entry.key->str());
        if (index == names.size()) {
            return reader.fail(
                entry.key->source(),
                fmt::format("unknown field `{}`, expected {}", entry.key->str(), name_list(names)));
        }
        if (met[index]) {
            return reader.fail(entry.key->source(),
                               fmt::format("duplicate field `{}`", entry.key->str()));
        }
        met[index] = true;
        if (auto error = read_key_at(reader, description, index, out, *entry.value, true)) {
            return std::unexpected(at_key(reader, std::move(*error), *entry.key, *entry.value));
        }
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (!met[i]) {
            return reader.fail(table.source(), fmt::format("missing field `{}`", names[i]));
        }
    }
    return out;
}

// Item i holds the value of key i.
template <class Record>
Result<Record> read_array_form(const Reader& reader, const toml::array& array) {
    constexpr auto description = describe(std::type_identity<Record>{});
    const std::string array_name =
        fmt::format("struct {} with {} elements", description.name, description.size);
    Record out{};
    for (std::size_t i = 0; i < description.size; ++i) {
        if (i >= array.size()) {
            return reader.fail(array.source(),
                               fmt::format("invalid length {}, expected {}", i, array_name));
        }
        if (auto error = read_key_at(reader, description, i, out, array[i], false)) {
            return std::unexpected(std::move(*error));
        }
    }
    if (reader.mode == Mode::Value && array.size() > description.size) {
        return reader.fail(
            array.source(),
            fmt::format("invalid length {}, expected fewer elements in array", array.size()));
    }
    return out;
}

template <class Record>
Result<Record> read_record(const Reader& reader, const toml::node& node, bool validate_keys) {
    if (const auto* table = node.as_table()) {
        return read_table_form<Record>(reader, *table, validate_keys);
    }
    if (const auto* array = node.as_array()) {
        return read_array_form<Record>(reader, *array);
    }
    constexpr auto description = describe(std::type_identity<Record>{});
    return invalid_type(reader, node, fmt::format("struct {}", description.name));
}

template <class Kind>
Result<typename Kind::type> read_unsigned(const Reader& reader, const toml::node& node) {
    using T = typename Kind::type;
    const auto* integer = node.as_integer();
    if (integer == nullptr) {
        return invalid_type(reader, node, Kind::name);
    }
    const std::int64_t value = integer->get();
    if (value < 0 || static_cast<std::uint64_t>(value) > std::numeric_limits<T>::max()) {
        return reader.fail(node.source(), fmt::format("invalid value: integer `{}`, expected {}",
                                                      value, Kind::name));
    }
    return static_cast<T>(value);
}

template <class Kind>
Result<typename Kind::type> read_kind(const Reader& reader, const toml::node& node,
                                      bool validate_keys) {
    if constexpr (std::is_same_v<Kind, U16> || std::is_same_v<Kind, U32> ||
                  std::is_same_v<Kind, U64> || std::is_same_v<Kind, Usize>) {
        return read_unsigned<Kind>(reader, node);
    } else if constexpr (std::is_same_v<Kind, F64>) {
        if (const auto* f = node.as_floating_point()) {
            return f->get();
        }
        if (const auto* i = node.as_integer()) {
            return static_cast<double>(i->get());
        }
        return invalid_type(reader, node, Kind::name);
    } else if constexpr (std::is_same_v<Kind, Boolean>) {
        if (const auto* b = node.as_boolean()) {
            return b->get();
        }
        return invalid_type(reader, node, Kind::name);
    } else if constexpr (std::is_same_v<Kind, Text> || std::is_same_v<Kind, Path>) {
        if (const auto* s = node.as_string()) {
            return typename Kind::type(s->get());
        }
        if (auto text = datetime_text(node)) {
            return typename Kind::type(std::move(*text));
        }
        return invalid_type(reader, node, Kind::name);
    } else if constexpr (is_list<Kind>::value) {
        const auto* array = node.as_array();
        if (array == nullptr) {
            return invalid_type(reader, node, Kind::name);
        }
        typename Kind::type out;
        out.reserve(array->size());
        for (const toml::node& item : *array) {
            auto value = read_kind<typename Kind::item>(reader, item, false);
            if (!value) {
                return std::unexpected(std::move(value.error()));
            }
            out.push_back(std::move(*value));
        }
        return out;
    } else if constexpr (is_section<Kind>::value) {
        return read_record<typename Kind::type>(reader, node, validate_keys);
    } else {
        static_assert(is_enumeration<Kind>::value);
        return read_enumeration<typename Kind::type>(reader, node);
    }
}

}  // namespace

std::expected<Config, TomlError> read_config_value(toml::table value) {
    const Reader reader{Mode::Value, {}};
    return read_table_form<Config>(reader, value, false);
}

std::expected<Config, TomlError> read_config_document(std::string_view text) {
    auto document = parse_toml(text);
    if (!document) {
        return std::unexpected(std::move(document.error()));
    }
    const Reader reader{Mode::Document, text};
    return read_table_form<Config>(reader, *document, false);
}

std::expected<toml::table, TomlError> parse_toml(std::string_view text) {
    if (auto too_deep = check_nesting_depth(text)) {
        return std::unexpected(std::move(*too_deep));
    }
    try {
        return toml::parse(text);
    } catch (const toml::parse_error& error) {
        const Reader reader{Mode::Document, text};
        return std::unexpected(
            TomlError{std::string(error.description()), {}, reader.position_of(error.source())});
    }
}

}  // namespace vireo
