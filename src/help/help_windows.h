#pragma once

#include "forms/description.h"
#include "forms/form.h"

namespace help {

forms::WindowDesc form1_description();
forms::WindowDesc form2_description();

// How To Play: six short texts, four beside the main window's own pictures.
class HowToPlay : public forms::Form {
public:
    HowToPlay();
    void Command1_Click();
};

// About: a version line, a contact line, a quotation and a picture.
class About : public forms::Form {
public:
    About();
    void Command1_Click();
};

extern forms::Instance<HowToPlay> Form1;
extern forms::Instance<About> Form2;

}
