#include "platform/codec/av_handles.h"

#include <mutex>

extern "C" {
#include <libavutil/log.h>
}

namespace codec {

void InitLibav() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

}  // namespace codec
