/* The filter module: the plug-in code is linked in whole from its static
 * library, and every symbol but PluginMain stays hidden. */
typedef int globaro_module_translation_unit;
