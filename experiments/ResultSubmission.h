#pragma once
#include <string>

#include "app/UrlCommand.h"
#include "experiments/ExperimentContext.h"

// The data path: the experiment's score under the run's operation id; a run
// that cannot be submitted is kept in the user's failed submissions (in
// their file as soon as it can be written), and the user is told once.
void SubmitExperimentData(const ExperimentContext& context, const CUrlCommand& command,
                          const std::string& text, int operationId);

// The score path: the score straight into the platform's statistics; every
// failure ends in a log line or silence. `examPath` is empty when no exam
// file was written.
void SubmitExperimentScore(const ExperimentContext& context, const CUrlCommand& command,
                           const std::string& examPath);

// Tells the user that the experiment's result could not be submitted at all
// because it was too large to read or to keep for a retry.
void ReportResultTooLarge(const ExperimentContext& context);

// Before the program ends or another user's failures replace them: writes
// the changes of the failed submissions that their file has not taken yet,
// asking the user whether to try again while it cannot be written.
void CommitKeptFailures(const ExperimentContext& context);
