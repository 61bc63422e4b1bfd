#pragma once

class DatebellError;

// Reports an error that ends the program: its number and text on standard error and, where a
// display can be reached, in a message box, since nobody reads standard error after a start
// at login.
void ReportError(const DatebellError &error);
