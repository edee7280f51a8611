// Base64 (the standard alphabet, '=' padding, no line breaks): the form
// that Basic credentials take in an Authorization header.
#pragma once

#include <string>
#include <string_view>

namespace jobs {

std::string Base64Encode(std::string_view bytes);

// The header line of Basic credentials: `header` ("Authorization" or
// "Proxy-Authorization"), ": Basic " and the encoded "user:password" (the
// colon and password only when the password is not empty).
std::string BasicCredentialsHeader(std::string_view header, std::string_view user,
                                   std::string_view password);

}  // namespace jobs
