// What create refuses to build because the installer could not work: the stub runs a
// package of exactly one entry, a Windows Installer database that msiexec can read, and
// Windows runs the stub only when it is a PE image. --force packs such input anyway, for
// a deliberate exception.
#pragma once

class CreateInputs;
struct PackerOptions;

// With a stub: kExitOk, or kExitRefused after one line naming the file and the reason.
// Without one: kExitOk, with a warning when OUT is named like a program (.exe).
// Takes what was learnt of the inputs when they were looked at.
int CheckInstaller(const PackerOptions& options, const CreateInputs& inputs);
