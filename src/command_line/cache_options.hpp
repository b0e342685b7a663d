#pragma once

#include "../cache/model_cache.hpp"

/// The environment variable that names the model cache when --cache does not.
constexpr const char* cacheVariable = "TARNFOLD_CACHE";

/// The lines of every command's --help that tell of the model cache's options.
extern const char* const cacheOptionsHelp;

/// The cache that TARNFOLD_CACHE names, as --cache's default: none when it is unset or empty.
CacheSettings cacheFromEnvironment();

/// Reads --cache DIR or --cache-size SIZE at argv[i] into `cache` (i moves on to a value given
/// apart); --cache '' turns the cache off. False for any other argument; throws
/// std::invalid_argument, worded for the user, for a value it cannot take.
bool takeCacheOption(int argc, char** argv, int& i, CacheSettings& cache);
