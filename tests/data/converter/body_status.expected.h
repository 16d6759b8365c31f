/*
Message Name:BodyStatus
Message ID:0x1a0
*/
typedef struct
{
    unsigned char DoorOpen:1;
    unsigned char resev_0:3;
    unsigned char Speed0:4;
    unsigned char Speed1:8;
    unsigned char resev_1:3;
    unsigned char Gear:3;
    unsigned char resev_2:2;
    unsigned char resev_3:8;
    unsigned char resev_4:8;
    unsigned char resev_5:8;
    unsigned char resev_6:8;
    unsigned char resev_7:8;
 }BodyStatus_Type;


