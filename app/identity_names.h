#pragma once

// Gives QCoreApplication the program's name, organisation and version, which
// the platform layer reads for the profile and for message box captions.
// Call once, right after the application object is made.
void ApplyProgramIdentity();
