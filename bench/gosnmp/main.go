// Reads IF-MIB::ifTable with gosnmp, as the side-by-side benchmark's Go client: GETBULK of 50
// per request, every value kept in memory until the end, then the count printed.
//
//	gosnmp_walk PORT [one] [v3 USER AUTHPASS PRIVPASS]
package main

import (
	"fmt"
	"os"
	"strconv"
	"time"

	"github.com/gosnmp/gosnmp"
)

func main() {
	port, err := strconv.Atoi(os.Args[1])
	if err != nil {
		fmt.Fprintln(os.Stderr, "bad port:", os.Args[1])
		os.Exit(2)
	}
	args := os.Args[2:]
	one := len(args) > 0 && args[0] == "one"
	if one {
		args = args[1:]
	}
	client := &gosnmp.GoSNMP{
		Target:         "127.0.0.1",
		Port:           uint16(port),
		Community:      "public",
		Version:        gosnmp.Version2c,
		Timeout:        2 * time.Second,
		Retries:        1,
		MaxRepetitions: 50,
	}
	if len(args) == 4 && args[0] == "v3" {
		client.Version = gosnmp.Version3
		client.SecurityModel = gosnmp.UserSecurityModel
		client.MsgFlags = gosnmp.AuthPriv
		client.SecurityParameters = &gosnmp.UsmSecurityParameters{
			UserName:                 args[1],
			AuthenticationProtocol:   gosnmp.SHA,
			AuthenticationPassphrase: args[2],
			PrivacyProtocol:          gosnmp.AES,
			PrivacyPassphrase:        args[3],
		}
	}
	if err := client.Connect(); err != nil {
		fmt.Fprintln(os.Stderr, "connect:", err)
		os.Exit(1)
	}
	defer client.Conn.Close()
	var values []gosnmp.SnmpPDU
	if one {
		answer, err := client.Get([]string{".1.3.6.1.2.1.2.1.0"})
		if err != nil {
			fmt.Fprintln(os.Stderr, "get:", err)
			os.Exit(1)
		}
		values = answer.Variables
	} else {
		values, err = client.BulkWalkAll(".1.3.6.1.2.1.2.2")
		if err != nil {
			fmt.Fprintln(os.Stderr, "walk:", err)
			os.Exit(1)
		}
	}
	fmt.Println(len(values))
}
