// The poster's output: echomail packets or text files, and the one way the poster ends.
#ifndef NUVREL_OUTPUT_H_
#define NUVREL_OUTPUT_H_

namespace nuvrel {

// Ends the program with the code: closes what is open and finishes the log.
[[noreturn]] void finishRun(int code);

}  // namespace nuvrel

#endif  // NUVREL_OUTPUT_H_
