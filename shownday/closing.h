#pragma once

class Prompts;
class ShownDay;

// Closing the window: the shown day is written a last time, the things held between two versions
// are put to the user once more (what is still held stays in its file beside the day file, which
// the next start takes back), and when something cannot be kept the user may retry, give it up or
// go back to the window. While the session ends nothing is asked.
namespace closing {

// False when the window must stay open; the view then shows what the book holds.
[[nodiscard]] bool mayClose(ShownDay &day, Prompts &prompts);

} // namespace closing
