// Page texts that stay the same in every language: the dithering methods' names (dialog 108).
#define TXT_108_10 "Floyd-Steinberg"
#define TXT_108_11 "Burkes"
#define TXT_108_12 "Stucki"
#define TXT_108_13 "Jarvis"
#define TXT_108_14 "Sierra"
#define TXT_108_15 "Stevenson-Arce"
