#pragma once

#include "forms/description.h"
#include "forms/form.h"

#include <cstdint>

namespace board {

// The colour codes that ColorIt holds.
namespace colour_codes {
inline constexpr std::int16_t white = 0;
inline constexpr std::int16_t blue = 1;
inline constexpr std::int16_t cyan = 2;
inline constexpr std::int16_t green = 3;
inline constexpr std::int16_t yellow = 4;
inline constexpr std::int16_t orange = 5;
inline constexpr std::int16_t red = 6;
inline constexpr std::int16_t purple = 7;
inline constexpr std::int16_t none = 8;
}

inline constexpr int board_columns = 28;
inline constexpr int board_rows = 16;
inline constexpr int socket_count = board_columns * board_rows;

// The stored layout of the main window.
forms::WindowDesc tarvo1_description();

// The main window: the board, the palette strip and the menus.
class Tarvo1 : public forms::Form {
public:
    Tarvo1();

    // The current colour: the bulb that the next click on a socket places.
    std::int16_t ColorIt { 0 };

    void Image2_Click(std::int16_t Index);
    void cleanup1_Click();
    void Image4_Click();
    void Label3_Click();
    void exit1_Click();
    void save1_Click();
    void print1_Click();
    void how1_Click();
    void about1_Click();

protected:
    void Form_Load() override;
    void Form_Unload(std::int16_t& Cancel) override;

private:
    void bind_colour_handlers();
    void clear_board();
    void shut_down();
};

extern forms::Instance<Tarvo1> tarvo1;

}
