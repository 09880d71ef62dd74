// The escaping of the install record and the rollback journal: fields are separated by tabs
// and lines by CR LF, so control bytes and the escape character itself are written as %XX.
#pragma once

// Appends text escaped to out[0..used); the new length, or -1 when it does not fit in size.
int AppendEscaped(char* out, int used, int size, const char* text);
// Unescapes text[0..length) into out; 0 when it does not fit or an escape is malformed.
int Unescape(const char* text, int length, char* out, int size);
