// Where a location leads: a file, or a server with the default file in front.
#include "adapters/logbook/fleet_store.h"
#include "adapters/logbook/location.h"
#include "adapters/logbook/pg_store.h"
#include "core/logbook/server_location.h"

namespace riventar::logbook {

std::unique_ptr<Store> OpenLogbookAt(const std::string& location, const LogbookOptions& options, Access access,
                                     bool pagesChecked) {
  if (!IsServerLocation(location)) return OpenLogbook(location, access, DefaultBusyTimeout, pagesChecked);
  return OpenSharedLogbook(
      OpenQueuingLogbook(DefaultLogbookLocation(), DefaultBusyTimeout, ServerQueueKey(location)),
      RedactedLocation(location), [location] { return OpenServerLogbook(location, ServerConnectTimeout); },
      [location](const std::string& text) { return Scrubbed(text, location); }, options);
}

}  // namespace riventar::logbook
