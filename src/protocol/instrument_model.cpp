#include "protocol/instrument_model.hpp"

namespace vireo {

std::string_view display(InstrumentModel model) {
    switch (model) {
        case InstrumentModel::Basic:
            return "tinySA Basic";
        case InstrumentModel::Ultra:
            return "tinySA Ultra family";
    }
    return "tinySA Basic";
}

std::string_view debug(InstrumentModel model) {
    switch (model) {
        case InstrumentModel::Basic:
            return "Basic";
        case InstrumentModel::Ultra:
            return "Ultra";
    }
    return "Basic";
}

std::string display(IdentityError error) {
    switch (error) {
        case IdentityError::Unknown:
            return "unsupported device identity; expected tinySA_v\u2026 or tinySA4_v\u2026 in "
                   "version/info";
        case IdentityError::Conflicting:
            return "conflicting device identity: replies identify both tinySA Basic and Ultra";
    }
    return "";
}

std::string debug(IdentityError error) {
    switch (error) {
        case IdentityError::Unknown:
            return "Unknown";
        case IdentityError::Conflicting:
            return "Conflicting";
    }
    return "";
}

std::optional<ErrorRef> source(IdentityError) {
    return std::nullopt;
}

}  // namespace vireo
