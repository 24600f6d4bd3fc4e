// The two dialogs of the installation: the agreement (template 101) and the
// destination with its progress bar (template 102). Their procedures only
// move values between controls and InstallSettings; every decision is a plain
// function below, testable without a window.
#pragma once

#include <windows.h>

#include <stdint.h>

// Runs the dialog of the template modally; true when it ended with 1. A
// dialog that cannot be made gives false and exit status 1.
bool RunDialog(int templateId, DLGPROC procedure);

// ---- Agreement ----

// True when the user accepted, or when there is no agreement text.
bool ShowAgreementDialog();
INT_PTR CALLBACK AgreementDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The whole agreement text as one string (free() it), or 0 when there is
// none, which counts as accepted.
char *LoadAgreementText();
// The dialog result for a command: 1 accepted, 0 declined, -1 no change.
int AgreementCommandResult(WPARAM command);

// ---- Destination and progress ----

// True when the copy pass created every folder and file of the script.
bool ShowDestinationDialog();
INT_PTR CALLBACK DestinationDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The destination shown first: a non-empty registry value replaces the
// script's default in destinationDir (size bytes).
void ChooseDefaultDestination(char *destinationDir, size_t size, const char *registryValue);
// The browser's choice into destinationDir (size bytes), less one trailing
// backslash.
void TakeBrowseResult(const char *chosen, char *destinationDir, size_t size);

enum DestinationVerdict {
    DESTINATION_ACCEPTED,       // exists and can be entered; ends with '\'
    DESTINATION_NOT_CREATED,    // MakePath failed and has said so
    DESTINATION_WRONG_PATH,     // empty, too long, or cannot be entered
};
// Checks the typed destination, makes it and checks that it can be entered;
// on success destinationDir (size bytes) holds it with one trailing
// backslash. Only a full path (drive, colon, backslash) whose folder names
// stay what they say, and below which a name of longestName characters
// still fits a path, is made at all. The current directory is the same
// afterwards.
DestinationVerdict AcceptDestination(const char *typed, size_t longestName, char *destinationDir, size_t size);

// Runs RunCopyStep until it returns a negative value, passing every other
// result to showPosition. True unless the pass failed (-1).
bool RunCopyLoop(void (*showPosition)(int32_t percent, void *context), void *context);
