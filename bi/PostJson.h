// The BI client's one network path: a JSON body POSTed over HTTPS, the answer
// returned as text. Never fails by exception or code: a transfer that brought
// no byte returns the synthetic refusal {"ERR":"report server timeout .","RES":-1}.
#pragma once

#include <chrono>
#include <nlohmann/json.hpp>
#include <string>

// How long one BI transfer may take, connection set-up included.
inline constexpr std::chrono::milliseconds kBiTransferLimit{1000};

// Every body but the initialisation's carries the bearer token given here.
// A shorter limit than kBiTransferLimit lets a caller with a deadline of its
// own keep to it.
std::string PostJson(const std::string& strUrl, const nlohmann::json& body, const std::string& strToken,
                     std::chrono::milliseconds limit = kBiTransferLimit);

// The TLS behaviour bits (libcurl's CURLOPT_SSL_OPTIONS) every BI transfer
// uses, towards the service and towards an HTTPS proxy alike.
long BiSslOptions();

// The compact, key-sorted text of a JSON value; invalid UTF-8 is replaced,
// never a reason to fail.
std::string DumpCompact(const nlohmann::json& value);
