// The BI client's one network path: a JSON body POSTed over HTTPS, the answer
// returned as text. Never fails by exception or code: a transfer that brought
// no byte returns the synthetic refusal {"ERR":"report server timeout .","RES":-1}.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

std::string PostJson(const std::string& strUrl, const nlohmann::json& body);

// The compact, key-sorted text of a JSON value; invalid UTF-8 is replaced,
// never a reason to fail.
std::string DumpCompact(const nlohmann::json& value);
