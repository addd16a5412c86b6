#include "telmora/types.hpp"

namespace Telmora {

const char* to_str(TofErrorCode code)
{
    switch (static_cast<int32_t>(code)) {
    case TelmoraSuccess: return "Success";
    case TelmoraInvalidParameter: return "Invalid parameter";
    case TelmoraNoCache: return "No cache";
    case TelmoraUnkownDevice: return "Unkown device";
    case TelmoraNotImplemented: return "Not implemented";
    case TelmoraSkipFrame: return "Skip frame";
    case TelmoraSystemError: return "System error";
    default: return "Unknown error";
    }
}

}  // namespace Telmora
