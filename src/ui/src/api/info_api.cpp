#include <boost/json.hpp>

#include "account_read.hpp"
#include "api_endpoints.hpp"
#include "orvane/core/display_names.hpp"
#include "orvane/core/formations.hpp"
#include "restore_points.hpp"

namespace orvane::ui {

// The rules the page shows but the program owns, so that the page repeats none of them.
HttpResponse get_info() {
  return json_reply(boost::json::object{{"max_custom_formations", MAX_CUSTOM_FORMATIONS},
                                        {"max_account_file_bytes", MAX_ACCOUNT_FILE_BYTES},
                                        {"restore_points_kept", RESTORE_POINTS_KEPT},
                                        {"max_name_characters", MAX_NAME_CHARACTERS}});
}

}  // namespace orvane::ui
