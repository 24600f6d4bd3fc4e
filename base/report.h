// Error boxes: one ownerless box with the caption "Error" and an OK button,
// the form every error of the installation takes unless a step names
// another caption.
#pragma once

void showError(const char *text);
