#pragma once
// The configuration records described once: each record's name and its keys in declared order,
// each key with its kind and member; each enumeration with its value names. The typed reader
// and the TOML writer both walk these descriptions, so no key is handled by hand anywhere.

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "config/config.hpp"

namespace vireo::schema {

// Kinds of keys. `name` is what reading messages call the kind; unsigned kinds of the same C++
// type (u64 and usize) differ only there.
struct U16 {
    using type = std::uint16_t;
    static constexpr std::string_view name = "u16";
};
struct U32 {
    using type = std::uint32_t;
    static constexpr std::string_view name = "u32";
};
struct U64 {
    using type = std::uint64_t;
    static constexpr std::string_view name = "u64";
};
struct Usize {
    using type = std::size_t;
    static constexpr std::string_view name = "usize";
};
struct F64 {
    using type = double;
    static constexpr std::string_view name = "f64";
};
struct Boolean {
    using type = bool;
    static constexpr std::string_view name = "a boolean";
};
struct Text {
    using type = std::string;
    static constexpr std::string_view name = "a string";
};
struct Path {
    using type = std::filesystem::path;
    static constexpr std::string_view name = "path string";
};
template <class Item>
struct ListOf {
    using item = Item;
    using type = std::vector<typename Item::type>;
    static constexpr std::string_view name = "a sequence";
};
// A nested record, described by its own `describe` overload.
template <class Record>
struct Section {
    using type = Record;
};
// An enumeration, described by its own `describe` overload.
template <class Enum>
struct Enumeration {
    using type = Enum;
};

template <class Record, class Kind>
struct Key {
    using kind = Kind;
    std::string_view name;
    typename Kind::type Record::*member;
};

template <class Kind, class Record>
constexpr Key<Record, Kind> key(std::string_view name, typename Kind::type Record::*member) {
    return {name, member};
}

template <class Record, class... Keys>
struct RecordDescription {
    using record = Record;
    static constexpr std::size_t size = sizeof...(Keys);

    std::string_view name;  // "UiConfig"
    std::tuple<Keys...> keys;

    constexpr std::array<std::string_view, size> key_names() const {
        return std::apply(
            [](const auto&... k) { return std::array<std::string_view, size>{k.name...}; }, keys);
    }
};

template <class Record, class... Keys>
constexpr RecordDescription<Record, Keys...> record(std::string_view name, Keys... keys) {
    return {name, {keys...}};
}

// Calls `f(index, key)` for every key in declared order.
template <class Description, class F>
constexpr void for_each_key(const Description& description, F&& f) {
    std::apply(
        [&](const auto&... keys) {
            std::size_t index = 0;
            (f(index++, keys), ...);
        },
        description.keys);
}

template <class Enum, std::size_t N>
struct EnumDescription {
    std::array<std::pair<std::string_view, Enum>, N> values;  // declared order

    constexpr std::array<std::string_view, N> names() const {
        std::array<std::string_view, N> out{};
        for (std::size_t i = 0; i < N; ++i) {
            out[i] = values[i].first;
        }
        return out;
    }
    constexpr std::string_view name_of(Enum value) const {
        for (const auto& [name, v] : values) {
            if (v == value) {
                return name;
            }
        }
        return {};
    }
};

template <class Enum, class... Values>
constexpr EnumDescription<Enum, sizeof...(Values)> enumeration(Values... values) {
    return {{values...}};
}

constexpr auto describe(std::type_identity<DeviceModel>) {
    return enumeration<DeviceModel>(std::pair{std::string_view("auto"), DeviceModel::Auto},
                                    std::pair{std::string_view("basic"), DeviceModel::Basic},
                                    std::pair{std::string_view("ultra"), DeviceModel::Ultra});
}

constexpr auto describe(std::type_identity<FrequencyAxis>) {
    return enumeration<FrequencyAxis>(
        std::pair{std::string_view("inclusive"), FrequencyAxis::Inclusive},
        std::pair{std::string_view("firmware"), FrequencyAxis::Firmware});
}

constexpr auto describe(std::type_identity<ConnectionBackend>) {
    return enumeration<ConnectionBackend>(
        std::pair{std::string_view("serial"), ConnectionBackend::Serial},
        std::pair{std::string_view("tcp"), ConnectionBackend::Tcp});
}

constexpr auto describe(std::type_identity<ConnectionConfig>) {
    using R = ConnectionConfig;
    return record<R>(
        "ConnectionConfig", key<Enumeration<ConnectionBackend>>("backend", &R::backend),
        key<Text>("tcp_address", &R::tcp_address), key<U64>("tcp_timeout_ms", &R::tcp_timeout_ms));
}

constexpr auto describe(std::type_identity<SerialConfig>) {
    using R = SerialConfig;
    return record<R>("SerialConfig", key<U64>("timeout_ms", &R::timeout_ms),
                     key<U64>("command_delay_ms", &R::command_delay_ms),
                     key<U64>("settle_delay_ms", &R::settle_delay_ms),
                     key<U64>("scan_delay_ms", &R::scan_delay_ms),
                     key<Usize>("max_response_bytes", &R::max_response_bytes),
                     key<ListOf<U32>>("baudrates", &R::baudrates),
                     key<ListOf<Text>>("preferred_ports", &R::preferred_ports));
}

constexpr auto describe(std::type_identity<ScanConfig>) {
    using R = ScanConfig;
    return record<R>(
        "ScanConfig", key<Enumeration<DeviceModel>>("device_model", &R::device_model),
        key<Boolean>("auto_zero_offset", &R::auto_zero_offset),
        key<U16>("zero_offset", &R::zero_offset),
        key<Usize>("frequency_step_mhz", &R::frequency_step_mhz),
        key<Usize>("points_step", &R::points_step), key<Usize>("min_points", &R::min_points),
        key<Usize>("max_points", &R::max_points), key<Usize>("max_repeat", &R::max_repeat),
        key<Enumeration<FrequencyAxis>>("frequency_axis", &R::frequency_axis),
        key<Boolean>("legacy_pre_scan", &R::legacy_pre_scan));
}

constexpr auto describe(std::type_identity<UiConfig>) {
    using R = UiConfig;
    return record<R>("UiConfig", key<U64>("poll_interval_ms", &R::poll_interval_ms),
                     key<F64>("chart_min_dbm", &R::chart_min_dbm),
                     key<F64>("chart_max_dbm", &R::chart_max_dbm));
}

constexpr auto describe(std::type_identity<OutputConfig>) {
    using R = OutputConfig;
    return record<R>("OutputConfig", key<Path>("directory", &R::directory),
                     key<Text>("filename_prefix", &R::filename_prefix),
                     key<Boolean>("include_header", &R::include_header));
}

constexpr auto describe(std::type_identity<LoggingConfig>) {
    using R = LoggingConfig;
    return record<R>("LoggingConfig", key<Text>("filter", &R::filter),
                     key<Path>("directory", &R::directory));
}

constexpr auto describe(std::type_identity<Config>) {
    using R = Config;
    return record<R>("Config", key<Text>("port", &R::port), key<U32>("baudrate", &R::baudrate),
                     key<Usize>("start_frequency", &R::start_frequency),
                     key<Usize>("stop_frequency", &R::stop_frequency),
                     key<Usize>("points", &R::points), key<Usize>("repeat", &R::repeat),
                     key<Section<ConnectionConfig>>("connection", &R::connection),
                     key<Section<SerialConfig>>("serial", &R::serial),
                     key<Section<ScanConfig>>("scan", &R::scan),
                     key<Section<UiConfig>>("ui", &R::ui),
                     key<Section<OutputConfig>>("output", &R::output),
                     key<Section<LoggingConfig>>("logging", &R::logging));
}

template <class Kind>
struct is_list : std::false_type {};
template <class Item>
struct is_list<ListOf<Item>> : std::true_type {};
template <class Kind>
struct is_section : std::false_type {};
template <class Record>
struct is_section<Section<Record>> : std::true_type {};
template <class Kind>
struct is_enumeration : std::false_type {};
template <class Enum>
struct is_enumeration<Enumeration<Enum>> : std::true_type {};

}  // namespace vireo::schema
