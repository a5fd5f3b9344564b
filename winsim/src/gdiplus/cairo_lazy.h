// Cairo (and fontconfig, for its clean-up at exit) as winsim's drawing uses them, loaded on first use:
// a process that draws nothing with GDI+ and takes no window pictures never loads them, which keeps
// the start of every program on winsim short. Include after <cairo.h>; the calls below then go
// through the table. A Cairo function not listed here fails to link, as winsim does not link Cairo.
#pragma once

#include <cairo.h>

#define WINSIM_CAIRO_FUNCTIONS(X) X(cairo_arc) X(cairo_arc_negative) X(cairo_clip) X(cairo_close_path) \
  X(cairo_create) X(cairo_debug_reset_static_data) X(cairo_destroy) X(cairo_fill) X(cairo_fill_preserve) \
  X(cairo_font_extents) X(cairo_font_options_create) X(cairo_font_options_destroy) \
  X(cairo_font_options_set_antialias) X(cairo_get_source) X(cairo_identity_matrix) X(cairo_image_surface_create) \
  X(cairo_image_surface_create_for_data) X(cairo_image_surface_get_data) X(cairo_image_surface_get_stride) \
  X(cairo_line_to) X(cairo_matrix_init_identity) X(cairo_matrix_init_rotate) X(cairo_matrix_init_scale) \
  X(cairo_matrix_init_translate) X(cairo_matrix_multiply) X(cairo_move_to) X(cairo_new_path) X(cairo_new_sub_path) \
  X(cairo_paint) X(cairo_pattern_set_extend) X(cairo_pattern_set_filter) X(cairo_rectangle) X(cairo_restore) \
  X(cairo_save) X(cairo_scale) X(cairo_select_font_face) X(cairo_set_antialias) X(cairo_set_dash) \
  X(cairo_set_fill_rule) X(cairo_set_font_options) X(cairo_set_font_size) X(cairo_set_line_cap) \
  X(cairo_set_line_join) X(cairo_set_line_width) X(cairo_set_operator) X(cairo_set_source_rgb) \
  X(cairo_set_source_rgba) X(cairo_set_source_surface) X(cairo_show_text) X(cairo_stroke) X(cairo_surface_destroy) \
  X(cairo_surface_flush) X(cairo_surface_mark_dirty) X(cairo_surface_write_to_png) X(cairo_text_extents) \
  X(cairo_transform) X(cairo_translate)

namespace winsim::detail {

struct CairoApi {
#define WINSIM_CAIRO_MEMBER(f) decltype(&::f) f;
  WINSIM_CAIRO_FUNCTIONS(WINSIM_CAIRO_MEMBER)
#undef WINSIM_CAIRO_MEMBER
  void (*FcFini)();
};

// Loads the libraries on the first call; a machine without them cannot draw, so it stops with a message.
const CairoApi& Cairo();

}  // namespace winsim::detail

#define cairo_arc(...) (::winsim::detail::Cairo().cairo_arc(__VA_ARGS__))
#define cairo_arc_negative(...) (::winsim::detail::Cairo().cairo_arc_negative(__VA_ARGS__))
#define cairo_clip(...) (::winsim::detail::Cairo().cairo_clip(__VA_ARGS__))
#define cairo_close_path(...) (::winsim::detail::Cairo().cairo_close_path(__VA_ARGS__))
#define cairo_create(...) (::winsim::detail::Cairo().cairo_create(__VA_ARGS__))
#define cairo_debug_reset_static_data(...) (::winsim::detail::Cairo().cairo_debug_reset_static_data(__VA_ARGS__))
#define cairo_destroy(...) (::winsim::detail::Cairo().cairo_destroy(__VA_ARGS__))
#define cairo_fill(...) (::winsim::detail::Cairo().cairo_fill(__VA_ARGS__))
#define cairo_fill_preserve(...) (::winsim::detail::Cairo().cairo_fill_preserve(__VA_ARGS__))
#define cairo_font_extents(...) (::winsim::detail::Cairo().cairo_font_extents(__VA_ARGS__))
#define cairo_font_options_create(...) (::winsim::detail::Cairo().cairo_font_options_create(__VA_ARGS__))
#define cairo_font_options_destroy(...) (::winsim::detail::Cairo().cairo_font_options_destroy(__VA_ARGS__))
#define cairo_font_options_set_antialias(...) (::winsim::detail::Cairo().cairo_font_options_set_antialias(__VA_ARGS__))
#define cairo_get_source(...) (::winsim::detail::Cairo().cairo_get_source(__VA_ARGS__))
#define cairo_identity_matrix(...) (::winsim::detail::Cairo().cairo_identity_matrix(__VA_ARGS__))
#define cairo_image_surface_create(...) (::winsim::detail::Cairo().cairo_image_surface_create(__VA_ARGS__))
#define cairo_image_surface_create_for_data(...) (::winsim::detail::Cairo().cairo_image_surface_create_for_data(__VA_ARGS__))
#define cairo_image_surface_get_data(...) (::winsim::detail::Cairo().cairo_image_surface_get_data(__VA_ARGS__))
#define cairo_image_surface_get_stride(...) (::winsim::detail::Cairo().cairo_image_surface_get_stride(__VA_ARGS__))
#define cairo_line_to(...) (::winsim::detail::Cairo().cairo_line_to(__VA_ARGS__))
#define cairo_matrix_init_identity(...) (::winsim::detail::Cairo().cairo_matrix_init_identity(__VA_ARGS__))
#define cairo_matrix_init_rotate(...) (::winsim::detail::Cairo().cairo_matrix_init_rotate(__VA_ARGS__))
#define cairo_matrix_init_scale(...) (::winsim::detail::Cairo().cairo_matrix_init_scale(__VA_ARGS__))
#define cairo_matrix_init_translate(...) (::winsim::detail::Cairo().cairo_matrix_init_translate(__VA_ARGS__))
#define cairo_matrix_multiply(...) (::winsim::detail::Cairo().cairo_matrix_multiply(__VA_ARGS__))
#define cairo_move_to(...) (::winsim::detail::Cairo().cairo_move_to(__VA_ARGS__))
#define cairo_new_path(...) (::winsim::detail::Cairo().cairo_new_path(__VA_ARGS__))
#define cairo_new_sub_path(...) (::winsim::detail::Cairo().cairo_new_sub_path(__VA_ARGS__))
#define cairo_paint(...) (::winsim::detail::Cairo().cairo_paint(__VA_ARGS__))
#define cairo_pattern_set_extend(...) (::winsim::detail::Cairo().cairo_pattern_set_extend(__VA_ARGS__))
#define cairo_pattern_set_filter(...) (::winsim::detail::Cairo().cairo_pattern_set_filter(__VA_ARGS__))
#define cairo_rectangle(...) (::winsim::detail::Cairo().cairo_rectangle(__VA_ARGS__))
#define cairo_restore(...) (::winsim::detail::Cairo().cairo_restore(__VA_ARGS__))
#define cairo_save(...) (::winsim::detail::Cairo().cairo_save(__VA_ARGS__))
#define cairo_scale(...) (::winsim::detail::Cairo().cairo_scale(__VA_ARGS__))
#define cairo_select_font_face(...) (::winsim::detail::Cairo().cairo_select_font_face(__VA_ARGS__))
#define cairo_set_antialias(...) (::winsim::detail::Cairo().cairo_set_antialias(__VA_ARGS__))
#define cairo_set_dash(...) (::winsim::detail::Cairo().cairo_set_dash(__VA_ARGS__))
#define cairo_set_fill_rule(...) (::winsim::detail::Cairo().cairo_set_fill_rule(__VA_ARGS__))
#define cairo_set_font_options(...) (::winsim::detail::Cairo().cairo_set_font_options(__VA_ARGS__))
#define cairo_set_font_size(...) (::winsim::detail::Cairo().cairo_set_font_size(__VA_ARGS__))
#define cairo_set_line_cap(...) (::winsim::detail::Cairo().cairo_set_line_cap(__VA_ARGS__))
#define cairo_set_line_join(...) (::winsim::detail::Cairo().cairo_set_line_join(__VA_ARGS__))
#define cairo_set_line_width(...) (::winsim::detail::Cairo().cairo_set_line_width(__VA_ARGS__))
#define cairo_set_operator(...) (::winsim::detail::Cairo().cairo_set_operator(__VA_ARGS__))
#define cairo_set_source_rgb(...) (::winsim::detail::Cairo().cairo_set_source_rgb(__VA_ARGS__))
#define cairo_set_source_rgba(...) (::winsim::detail::Cairo().cairo_set_source_rgba(__VA_ARGS__))
#define cairo_set_source_surface(...) (::winsim::detail::Cairo().cairo_set_source_surface(__VA_ARGS__))
#define cairo_show_text(...) (::winsim::detail::Cairo().cairo_show_text(__VA_ARGS__))
#define cairo_stroke(...) (::winsim::detail::Cairo().cairo_stroke(__VA_ARGS__))
#define cairo_surface_destroy(...) (::winsim::detail::Cairo().cairo_surface_destroy(__VA_ARGS__))
#define cairo_surface_flush(...) (::winsim::detail::Cairo().cairo_surface_flush(__VA_ARGS__))
#define cairo_surface_mark_dirty(...) (::winsim::detail::Cairo().cairo_surface_mark_dirty(__VA_ARGS__))
#define cairo_surface_write_to_png(...) (::winsim::detail::Cairo().cairo_surface_write_to_png(__VA_ARGS__))
#define cairo_text_extents(...) (::winsim::detail::Cairo().cairo_text_extents(__VA_ARGS__))
#define cairo_transform(...) (::winsim::detail::Cairo().cairo_transform(__VA_ARGS__))
#define cairo_translate(...) (::winsim::detail::Cairo().cairo_translate(__VA_ARGS__))
#define FcFini() (::winsim::detail::Cairo().FcFini())
