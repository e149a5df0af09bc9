#pragma once

class QLabel;

// Makes a word-wrapped label set its lines `pitch` px apart, top to bottom,
// with each line's baseline one pixel above the bottom of its cell, as a
// bitmap face with a cell of that height would. For captions whose font's own
// line spacing would not fit the label (a fixed-pitch substitute for a bitmap
// face). The label keeps its text, font, colours and background.
void setLinePitch(QLabel* label, int pitch);
