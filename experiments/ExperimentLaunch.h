#pragma once
#include <string>

#include "app/UrlCommand.h"
#include "experiments/ExperimentContext.h"

// A resource's file on disk: an experiment is run with its exam file and its
// result submitted, anything else is opened by the shell. 0 when an
// experiment cannot be started, else 1.
int OpenResourceFile(const ExperimentContext& context, const std::string& path,
                     const CUrlCommand& command);
