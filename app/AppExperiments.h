#pragma once
#include "experiments/ExperimentContext.h"

class CAssistantApp;

// The experiments' view of the application: its desktop, the logged-in
// user's failed submissions, login values, resource directory and title.
ExperimentContext MakeExperimentContext(CAssistantApp& app);
