// Port enumeration through libserialport: names only, in the order it reports them.
#include <libserialport.h>

#include <memory>

#include "platform/serial/serial_port.hpp"

namespace sparvik::serial {

namespace {
SerialError last_libserialport_error(sp_return result) {
  std::unique_ptr<char, decltype(&sp_free_error_message)> message(sp_last_error_message(),
                                                                  &sp_free_error_message);
  SerialError error;
  error.kind = result == SP_ERR_FAIL ? SerialErrorKind::Io : SerialErrorKind::Unknown;
  error.code = result == SP_ERR_FAIL ? sp_last_error_code() : 0;
  error.description = message ? message.get() : "Unknown libserialport error";
  return error;
}
}  // namespace

std::expected<std::vector<std::string>, SerialError> list_ports() {
  sp_port** ports = nullptr;
  const sp_return result = sp_list_ports(&ports);
  if (result != SP_OK) return std::unexpected(last_libserialport_error(result));
  std::unique_ptr<sp_port*, decltype(&sp_free_port_list)> owned(ports, &sp_free_port_list);

  std::vector<std::string> names;
  for (sp_port** port = ports; *port != nullptr; ++port) {
    if (const char* name = sp_get_port_name(*port)) names.emplace_back(name);
  }
  return names;
}

}  // namespace sparvik::serial
