#ifndef READERINTERNALS_H
#define READERINTERNALS_H

// Switches of the DBC reader for the tests and the fuzz target, which check
// that its hand-written matchers find exactly what the fixed patterns find.
namespace ReaderInternals
{

// While on, every read runs the compiled patterns instead of the matchers.
void setCompiledPatternsOnly(bool on);

} // namespace ReaderInternals

#endif // READERINTERNALS_H
