#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace zel::server {

// Makes a private certificate authority and a server certificate signed by
// it, for the host names and IP addresses given (each goes into the
// certificate's subject alternative names; the first is its common name).
// Writes, in `dir` (created when missing): ca.crt, ca.key, server.crt (the
// server's certificate followed by the authority's), server.key; the keys
// readable by their owner only. Refuses to overwrite any of them. Tells on
// `notes` what to do next. Raises std::invalid_argument or
// std::runtime_error.
void TlsInit(const std::string& dir, const std::vector<std::string>& names, int days, std::ostream& notes);

} // namespace zel::server
