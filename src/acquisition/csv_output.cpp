#include "acquisition/csv_output.hpp"

#include <array>
#include <system_error>

#include <fmt/chrono.h>
#include <fmt/format.h>

#include "common/number_format.hpp"
#include "platform/file.hpp"

namespace vireo {

namespace {

constexpr std::size_t BUFFER_BYTES = 8192;
constexpr int MAX_ATTEMPTS = 100;
constexpr std::string_view HEADER = "frequency_MHz,level_dBm\n";
// Room for one row of two numbers in the longest positional form a double can take, so
// formatting into the buffer never runs short.
constexpr std::size_t MAX_ROW_BYTES = 2 * MAX_DECIMAL_CHARS + 2;

// Collects rows and hands them to the file in blocks of at most BUFFER_BYTES.
class RowWriter {
  public:
    explicit RowWriter(platform::File& file) : file_(file) {}

    std::expected<void, IoError> write(std::string_view text) {
        if (BUFFER_BYTES - length_ < text.size()) {
            if (auto flushed = flush(); !flushed) {
                return flushed;
            }
        }
        if (text.size() > BUFFER_BYTES) {
            return file_.write_all(text);
        }
        text.copy(buffer_.data() + length_, text.size());
        length_ += text.size();
        return {};
    }

    std::expected<void, IoError> write_row(const Sample& sample) {
        if (BUFFER_BYTES - length_ < MAX_ROW_BYTES) {
            if (auto flushed = flush(); !flushed) {
                return flushed;
            }
        }
        char* out = buffer_.data() + length_;
        out = put_number(out, sample.frequency_mhz);
        *out++ = ',';
        out = put_number(out, sample.level_dbm);
        *out++ = '\n';
        length_ = static_cast<std::size_t>(out - buffer_.data());
        return {};
    }

    std::expected<void, IoError> flush() {
        if (length_ == 0) {
            return {};
        }
        const std::string_view pending(buffer_.data(), length_);
        // What was handed over counts as gone even on failure; the file is deleted then anyway.
        length_ = 0;
        return file_.write_all(pending);
    }

  private:
    // Negative zero is written "0": it equals zero and the column carries a sign only for
    // negative values.
    static char* put_number(char* out, double value) {
        if (value == 0.0) {
            value = 0.0;
        }
        return write_shortest_decimal(out, value);
    }

    platform::File& file_;
    std::array<char, BUFFER_BYTES> buffer_{};
    std::size_t length_ = 0;
};

std::expected<void, IoError> write_rows(platform::File& file, bool include_header,
                                        std::span<const Sample> samples) {
    RowWriter writer(file);
    if (include_header) {
        if (auto written = writer.write(HEADER); !written) {
            return written;
        }
    }
    for (const Sample& sample : samples) {
        if (auto written = writer.write_row(sample); !written) {
            return written;
        }
    }
    if (auto flushed = writer.flush(); !flushed) {
        return flushed;
    }
    return file.sync();
}

IoError unique_name_error() {
    return IoError::with_message(IoErrorKind::AlreadyExists,
                                 "could not allocate a unique scan filename");
}

std::expected<void, IoError> ensure_directory(const std::filesystem::path& directory) {
    if (directory.empty()) {
        return {};
    }
    std::error_code ec;
    std::filesystem::create_directories(directory, ec);
    if (ec) {
        return std::unexpected(IoError::from_os(ec.value()));
    }
    return {};
}

using NameFor = std::function<std::filesystem::path(int)>;

// Gives the written unnamed file the first candidate name not taken.
std::expected<std::filesystem::path, IoError> link_first_free(platform::File& file,
                                                              const NameFor& name) {
    for (int n = 0; n < MAX_ATTEMPTS; ++n) {
        std::filesystem::path path = name(n);
        auto linked = file.link_to(path);
        if (linked) {
            return path;
        }
        if (linked.error().kind() != IoErrorKind::AlreadyExists) {
            return std::unexpected(linked.error());
        }
    }
    return std::unexpected(unique_name_error());
}

// Creates the file under the first candidate name not taken and writes it; deleted again when
// the writing fails.
std::expected<std::filesystem::path, IoError> write_named(const OutputConfig& output,
                                                          std::span<const Sample> samples,
                                                          const NameFor& name) {
    for (int n = 0; n < MAX_ATTEMPTS; ++n) {
        std::filesystem::path path = name(n);
        auto file = platform::File::create_new(path);
        if (!file) {
            if (file.error().kind() == IoErrorKind::AlreadyExists) {
                continue;
            }
            return std::unexpected(file.error());
        }
        auto written = write_rows(*file, output.include_header, samples);
        (void)file->close();
        if (!written) {
            (void)platform::remove_file(path);
            return std::unexpected(written.error());
        }
        return path;
    }
    return std::unexpected(unique_name_error());
}

}  // namespace

namespace csv_detail {

std::string scan_timestamp(std::chrono::system_clock::time_point when) {
    const auto seconds = std::chrono::floor<std::chrono::seconds>(when);
    const auto micros = std::chrono::floor<std::chrono::microseconds>(when - seconds).count();
    const std::tm local = fmt::localtime(std::chrono::system_clock::to_time_t(seconds));
    return fmt::format("{:%Y%m%d %H_%M_%S}_{:06}", local, micros);
}

std::expected<std::filesystem::path, IoError> write_scan_csv_at(const OutputConfig& output,
                                                                std::span<const Sample> samples,
                                                                const Clock& now) {
    if (auto created = ensure_directory(output.directory); !created) {
        return std::unexpected(created.error());
    }
    const std::string stamp = scan_timestamp(now());
    const NameFor name = [&](int n) {
        return output.directory / fmt::format("{}_{}_{}.csv", output.filename_prefix, stamp, n);
    };

    // Written without a name and named only once complete and synced, so a run that ends
    // half-way (a quit, a kill, a crash) leaves nothing that looks like a result.
    auto unnamed = platform::File::create_unnamed(output.directory);
    if (unnamed) {
        if (auto written = write_rows(*unnamed, output.include_header, samples); !written) {
            return std::unexpected(written.error());
        }
        auto named = link_first_free(*unnamed, name);
        if (named) {
            (void)unnamed->close();
            // The name is given after the data's sync, so it needs one of its own to survive a
            // power loss; the file is complete either way, so a failure here is not the run's.
            (void)platform::sync_directory(output.directory.empty() ? "." : output.directory);
            return named;
        }
        if (named.error().kind() == IoErrorKind::AlreadyExists) {
            return named;
        }
        // Naming it can be refused where creating a named file is not (no /proc, and no
        // privilege for the other way): the samples are still here, so they go into a file
        // created under its name. The unnamed one vanishes when closed.
        (void)unnamed->close();
    } else if (unnamed.error().kind() != IoErrorKind::Unsupported) {
        return std::unexpected(unnamed.error());
    }

    // Where the file system has no unnamed files, or naming one was refused.
    return write_named(output, samples, name);
}

}  // namespace csv_detail

std::expected<std::filesystem::path, IoError> write_scan_csv(const OutputConfig& output,
                                                             std::span<const Sample> samples) {
    return csv_detail::write_scan_csv_at(output, samples,
                                         [] { return std::chrono::system_clock::now(); });
}

}  // namespace vireo
