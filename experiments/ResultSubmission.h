#pragma once
#include <string>

#include "app/UrlCommand.h"

class CAssistantApp;

// The data path: the experiment's score under the run's operation id; a run
// that cannot be submitted is stored in the application's failed
// submissions, saved, and the user is told once.
void SubmitExperimentData(CAssistantApp& app, const CUrlCommand& command, const std::string& text,
                          int operationId);

// The score path: the score straight into the platform's statistics; every
// failure ends in a log line or silence. `examPath` is empty when no exam
// file was written.
void SubmitExperimentScore(CAssistantApp& app, const CUrlCommand& command,
                           const std::string& examPath);

// Tells the user that the experiment's result could not be submitted at all
// because it was too large to read or to keep for a retry.
void ReportResultTooLarge(CAssistantApp& app);
