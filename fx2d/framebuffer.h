// framebuffer.h -- the software frame buffer and its pixel operations.
//
// Every picture is drawn by the processor into one 320x200 buffer of 32-bit
// 0x00RRGGBB words, row after row without gaps; the display converts and
// flips it once per frame. It is never cleared: a frame starts with whatever
// the previous one left.
//
// All operations treat the three channels independently, saturate at 0 and
// 255, write bits 24..31 as zero, and use only the low 8 bits of an amount.
// They work on `frame_buffer`, which the entry allocates before any scene
// runs. Main thread only; nothing here allocates.
#pragma once
#include <cstdint>

enum { FB_WIDTH = 320, FB_HEIGHT = 200, FB_PIXELS = FB_WIDTH * FB_HEIGHT };

struct FrameBuffer {
    uint32_t pixels[FB_PIXELS];  // pixel (x, y) at y * 320 + x, 0x00RRGGBB
};

// The process's one frame buffer (scene handlers take only their argument).
extern FrameBuffer* frame_buffer;

// Each channel c becomes min(c + amount, 255), over the whole frame.
void fb_brighten(int amount);
// Each channel c becomes c - amount if c > amount, else 0, over the whole frame.
void fb_darken(int amount);
// As fb_darken, for rows first_row up to but not including end_row. Trusts
// its rows (0 <= first_row, end_row <= 200); nothing if first_row >= end_row.
void fb_darken_rows(int amount, int first_row, int end_row);
// The 320 pixels of `row` (0..199, trusted) become black.
void fb_clear_row(int row);
// Adds `value` (0..255) to each channel of pixel (x, y), saturating; any
// coordinates outside the frame, however far, change nothing.
void fb_add_pixel(int x, int y, int value);
// Adds 30 to each channel of pixel (x, y), saturating; clipped as fb_add_pixel.
void fb_brighten_point(int x, int y);
// destination[i] = table[source[i]] for i < count; returns count, or 0 when
// count <= 0. Does not clip.
int map_through_palette(const uint8_t* source, uint32_t* destination,
                        const uint32_t* table, int count);
